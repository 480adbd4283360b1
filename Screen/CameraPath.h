// The saver's two cameras. CameraBase is a camera placed by a position key track and a
// rotation key track (a flight): evaluating it at a time in milliseconds moves it there,
// and its view matrix is rebuilt only after a move. CameraPath is the free camera that a
// user flies by hand with the keyboard and the mouse; it forgets where the mouse was
// whenever the window loses or gains the focus, so the first step after a focus change
// never turns the camera by the distance the pointer travelled elsewhere.
//
// A flight is stored as a ".cam" document: one 32-byte key per root child, "pos<i>" of
// type "pos" for the position track and "rot<i>" for the rotation track, each key's time
// in its first four bytes. The loader accepts the entries in any order and of any size
// (a short entry reads as zeros past its end) and skips objects and keys whose time is
// not a number; the writer stores the tracks' keys in time order.
#pragma once

#include <windows.h>

#include "Core/Matrix.h"
#include "Core/Object.h"
#include "Core/String.h"
#include "Core/Timer.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "Core/Vector.h"
#include "D3d/DeviceObject.h"
#include "Scene/RotationTrack.h"
#include "Scene/VectorTrack.h"

#include <d3dx9math.h>

class InputDevice;
class Stream;
class patht;

// DirectInput scan codes of the keys the hand flight reads.
enum CameraKey : u32 {
    kCameraKeyLeftShift = 0x2A,
    kCameraKeyLeftCtrl = 0x1D,
    kCameraKeyForwardA = 0x1E,  // A: to the left
    kCameraKeyRightD = 0x20,    // D: to the right
    kCameraKeyUpW = 0x11,
    kCameraKeyDownS = 0x1F,
    kCameraKeyHomeZ = 0x2C,  // back to the origin
};

class CameraBase : public Object {
public:
    CameraBase();
    ~CameraBase() override;
    CameraBase(const CameraBase&) = delete;
    CameraBase& operator=(const CameraBase&) = delete;

    bool QueryType(u32 typeId, void** out) override;
    // Moves the camera to where the tracks put it at `timeMs`: the position track's
    // value (the position stays without one) and the rotation track's (the identity
    // without one) turning +z into the view direction and +y into the up vector.
    // Always true.
    virtual bool Evaluate(f32 timeMs);
    // The union of the two tracks' ranges; false, out untouched, when neither has keys.
    virtual bool GetTimeRange(TimeRange& out);
    // scaling x left-handed look-at (eye = position, along the direction) x parent,
    // rebuilt only after a change. Returns out.
    virtual Matrix& BuildView(Matrix& out);

    VectorTrackObject& PositionTrack() { return position_track_; }
    RotationTrackObject& RotationTrack() { return rotation_track_; }

    Vec3 GetPosition() const { return position_; }
    Vec3 GetDirection() const { return direction_; }
    Vec3 GetUp() const { return up_; }
    Vec3 GetScale() const { return scale_; }
    void SetPosition(const Vec3& position);
    void SetOrientation(const Vec3& direction, const Vec3& up);
    void SetScale(const Vec3& scale);
    void SetParentMatrix(const Matrix& parent);
    // Takes the other camera's position, direction and up (a flight handing over to the
    // free camera).
    void CopyPlacement(const CameraBase& other);

private:
    Vec3 scale_{1.0f, 1.0f, 1.0f};
    Vec3 direction_{0.0f, 0.0f, 1.0f};
    Vec3 up_{0.0f, 1.0f, 0.0f};
    Vec3 position_{0.0f, 0.0f, 0.0f};
    Matrix parent_ = IdentityMatrix;
    Matrix view_ = IdentityMatrix;
    u8 dirty_ = 1;
    VectorTrackObject position_track_;
    RotationTrackObject rotation_track_;
};

class CameraPath : public CameraBase, public MessageListener {
public:
    CameraPath();
    ~CameraPath() override;

    bool QueryType(u32 typeId, void** out) override;
    // Listens to the Application's messages from now on and flies with `input` at
    // `moveSpeed` units a second, turning by `turnFactor`. The step timer restarts.
    void SetParams(InputDevice* input, f32 moveSpeed, f32 turnFactor);
    // Focus changes forget the mouse's reference point.
    void HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // One pass of the hand flight (see CameraPath.cpp).
    void Step();

    InputDevice* GetInput() const { return input_; }
    f32 GetMoveSpeed() const { return move_speed_; }
    f32 GetTurnFactor() const { return turn_factor_; }
    bool HasReferencePoint() const { return has_reference_ != 0; }

private:
    InputDevice* input_ = nullptr;
    f32 move_speed_ = 1.0f;
    f32 turn_factor_ = 0.3f;
    IntPair reference_;
    u8 has_reference_ = 0;
    Timer step_timer_;
};

u32 CameraBaseTypeId();
u32 CameraPathTypeId();

// The rotation that turns +z into `direction` and +y into `up` (the pair is made
// orthonormal first, the direction kept): the key a recorder stores for a placement,
// and the inverse of what CameraBase::Evaluate does with a rotation key.
D3DXQUATERNION RotationFromFrame(const Vec3& direction, const Vec3& up);

// Fills the flight's tracks from a ".cam" document (both tracks are emptied first; a
// file that cannot be opened or read leaves them empty). Entries of type "pos" go to the
// position track, every other to the rotation track. Returns how many keys were filed.
u32 LoadCameraPath(CameraBase& flight, patht file);
// The same from an open stream, which stays the caller's.
u32 LoadCameraPath(CameraBase& flight, Stream* source);
// Writes the flight's keys as a ".cam" document: "pos<i>" for the i-th position key and
// "rot<i>" for the i-th rotation key, in time order. False when the file cannot be written.
bool WriteCameraPath(CameraBase& flight, const String& fileName);
bool WriteCameraPath(CameraBase& flight, Stream* out);
