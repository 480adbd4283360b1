// A camera keeps its placement as four parts (scale, direction, up, position) and a
// parent matrix; the view matrix is a cache rebuilt on the first read after a change, so
// a flight that stands still or a free camera nobody moves costs nothing per frame.
//
// The hand flight works in the camera's own frame: moves go along the view direction,
// the side axis (direction x up) and the up vector, and turns rotate direction and up
// together about the camera's axes, so the pair stays a frame however long one flies.
#include "Screen/CameraPath.h"

#include "Core/D3dxLibrary.h"
#include "Core/Path.h"
#include "Core/Stream.h"
#include "Core/UdfBinaryTree.h"
#include "Core/UdfWriter.h"
#include "D3d/InputDevice.h"
#include "Scene/AbstractObject.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Bytes of one stored key: time, four value floats, three curve parameters.
constexpr u32 kStoredKeySize = 32;

// Pixels of mouse movement to radians, before the turn factor.
constexpr f32 kYawPerPixel = 0.00625f;
constexpr f32 kPitchPerPixel = 0.01f;

constexpr UINT kMessageSetFocus = 7;   // WM_SETFOCUS
constexpr UINT kMessageKillFocus = 8;  // WM_KILLFOCUS

// v as a row vector times the upper 3x3 of m: a direction carried by a rotation.
Vec3 TurnBy(const Vec3& v, const D3DXMATRIX& m) {
    return Vec3(v.x * m._11 + v.y * m._21 + v.z * m._31, v.x * m._12 + v.y * m._22 + v.z * m._32,
                v.x * m._13 + v.y * m._23 + v.z * m._33);
}

Vec3 Normalized(const Vec3& v) {
    Vec3 out;
    Vec3Normalize(out, v);
    return out;
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    Vec3 out;
    Vec3Cross(out, a, b);
    return out;
}

D3DXMATRIX RotationAbout(const Vec3& axis, f32 angle) {
    D3DXMATRIX m;
    const D3DXVECTOR3 a(axis.x, axis.y, axis.z);
    D3dx().MatrixRotationAxis(&m, &a, angle);
    return m;
}

KeyData KeyFromBytes(const u8* bytes) {
    KeyData key;
    std::memcpy(&key, bytes, sizeof key);
    return key;
}

}  // namespace

u32 CameraBaseTypeId() { return TypeIdOf<CameraBase>(); }
u32 CameraPathTypeId() { return TypeIdOf<CameraPath>(); }

CameraBase::CameraBase() = default;
CameraBase::~CameraBase() = default;

bool CameraBase::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, CameraBaseTypeId(), typeId, out) || Object::QueryType(typeId, out);
}

bool CameraBase::Evaluate(f32 timeMs) {
    Vec3 position;
    if (position_track_.Evaluate(timeMs, position)) position_ = position;
    D3DXQUATERNION rotation(0.0f, 0.0f, 0.0f, 1.0f);
    rotation_track_.Evaluate(timeMs, rotation);
    D3DXMATRIX r;
    D3dx().MatrixRotationQuaternion(&r, &rotation);
    direction_ = Vec3(r._31, r._32, r._33);  // +z carried by the rotation
    up_ = Vec3(r._21, r._22, r._23);         // +y carried by the rotation
    dirty_ = 1;
    Matrix view;
    BuildView(view);
    return true;
}

bool CameraBase::GetTimeRange(TimeRange& out) {
    TimeRange positions;
    TimeRange rotations;
    const bool hasRotations = rotation_track_.GetRange(rotations);
    if (!position_track_.GetRange(positions)) {
        if (hasRotations) out = rotations;
        return hasRotations;
    }
    out = hasRotations ? TimeRange::Union(positions, rotations) : positions;
    return true;
}

Matrix& CameraBase::BuildView(Matrix& out) {
    if (dirty_) {
        D3DXMATRIX scaling;
        D3dx().MatrixScaling(&scaling, scale_.x, scale_.y, scale_.z);
        const D3DXVECTOR3 eye(position_.x, position_.y, position_.z);
        const D3DXVECTOR3 at(position_.x + direction_.x, position_.y + direction_.y, position_.z + direction_.z);
        const D3DXVECTOR3 up(up_.x, up_.y, up_.z);
        D3DXMATRIX look;
        D3dx().MatrixLookAtLH(&look, &eye, &at, &up);
        D3DXMATRIX scaled;
        D3dx().MatrixMultiply(&scaled, &scaling, &look);
        D3dx().MatrixMultiply(reinterpret_cast<D3DXMATRIX*>(view_.m), &scaled,
                           reinterpret_cast<const D3DXMATRIX*>(parent_.m));
        view_.kind = 0;
        view_.valid = 1;
        dirty_ = 0;
    }
    out = view_;
    return out;
}

void CameraBase::SetPosition(const Vec3& position) {
    position_ = position;
    dirty_ = 1;
}

void CameraBase::SetOrientation(const Vec3& direction, const Vec3& up) {
    direction_ = direction;
    up_ = up;
    dirty_ = 1;
}

void CameraBase::SetScale(const Vec3& scale) {
    scale_ = scale;
    dirty_ = 1;
}

void CameraBase::SetParentMatrix(const Matrix& parent) {
    parent_ = parent;
    dirty_ = 1;
}

void CameraBase::CopyPlacement(const CameraBase& other) {
    position_ = other.position_;
    direction_ = other.direction_;
    up_ = other.up_;
    dirty_ = 1;
}

CameraPath::CameraPath() = default;
CameraPath::~CameraPath() = default;

bool CameraPath::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, CameraPathTypeId(), typeId, out) || CameraBase::QueryType(typeId, out);
}

void CameraPath::SetParams(InputDevice* input, f32 moveSpeed, f32 turnFactor) {
    MessageListener::Register();
    input_ = input;
    move_speed_ = moveSpeed;
    turn_factor_ = turnFactor;
    step_timer_.Restart();
}

void CameraPath::HandleMessage(HWND, UINT message, WPARAM, LPARAM) {
    if (message == kMessageSetFocus || message == kMessageKillFocus) has_reference_ = 0;
}

void CameraPath::Step() {
    if (!input_) return;
    if (!input_->HasFocus()) {
        // Time spent without the focus is not flown: a key still held when the focus
        // comes back would otherwise move the camera by the whole absence at once.
        step_timer_.Restart();
        return;
    }
    const bool ctrl = input_->IsKeyDown(kCameraKeyLeftCtrl);
    const bool look = ctrl || input_->IsKeyDown(kCameraKeyLeftShift);

    const IntPair now = input_->GetPosition();
    i32 dx = 0;
    i32 dy = 0;
    if (has_reference_) {
        dx = now.x - reference_.x;
        dy = now.y - reference_.y;
    }
    reference_ = now;
    has_reference_ = 1;
    if (!look) dx = dy = 0;

    const f32 step = static_cast<f32>(step_timer_.Elapsed()) * move_speed_ * 0.001f;
    step_timer_.Restart();
    const Vec3 d = Normalized(GetDirection());
    const Vec3 u = GetUp();
    const Vec3 side = Normalized(Cross(d, u));
    Vec3 position = GetPosition();
    if (input_->IsLeftButtonDown()) position = position + d * step;
    if (input_->IsRightButtonDown()) position = position - d * step;
    if (input_->IsKeyDown(kCameraKeyForwardA)) position = position + side * step;
    if (input_->IsKeyDown(kCameraKeyRightD)) position = position - side * step;
    if (input_->IsKeyDown(kCameraKeyUpW)) position = position + Normalized(u) * step;
    if (input_->IsKeyDown(kCameraKeyDownS)) position = position - Normalized(u) * step;
    if (input_->IsKeyDown(kCameraKeyHomeZ)) position = Vec3();
    SetPosition(position);

    if (std::abs(dx) < 1 && std::abs(dy) < 1) return;
    D3DXMATRIX turn;
    if (ctrl) {
        turn = RotationAbout(d, -static_cast<f32>(dx) * kYawPerPixel * turn_factor_);
    } else {
        const Vec3 cameraX = Normalized(Cross(u, d));
        const D3DXMATRIX pitch = RotationAbout(cameraX, static_cast<f32>(dy) * kPitchPerPixel * turn_factor_);
        const D3DXMATRIX yaw = RotationAbout(Normalized(u), static_cast<f32>(dx) * kYawPerPixel * turn_factor_);
        D3dx().MatrixMultiply(&turn, &pitch, &yaw);
    }
    SetOrientation(TurnBy(GetDirection(), turn), TurnBy(u, turn));
}

D3DXQUATERNION RotationFromFrame(const Vec3& direction, const Vec3& up) {
    const Vec3 z = Normalized(direction);
    const Vec3 x = Normalized(Cross(up, z));
    const Vec3 y = Cross(z, x);
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    m._11 = x.x, m._12 = x.y, m._13 = x.z;
    m._21 = y.x, m._22 = y.y, m._23 = y.z;
    m._31 = z.x, m._32 = z.y, m._33 = z.z;
    D3DXQUATERNION q;
    D3dx().QuaternionRotationMatrix(&q, &m);
    return q;
}

u32 LoadCameraPath(CameraBase& flight, patht file) {
    flight.PositionTrack().Clear();
    flight.RotationTrack().Clear();
    Stream* stream = file.Open(kStreamRead);
    if (!stream) return 0;
    const u32 filed = LoadCameraPath(flight, stream);
    stream->Close();
    delete stream;
    return filed;
}

u32 LoadCameraPath(CameraBase& flight, Stream* source) {
    flight.PositionTrack().Clear();
    flight.RotationTrack().Clear();
    UdfBinaryTree reader;
    UdfNode* root = reader.Open(source);
    if (!root) return 0;
    u32 filed = 0;
    if (root->Load(0, 0)) {
        const UdfChildMap& children = root->Children();
        const UdfChildMap::Node* entry = children.first;
        for (u32 i = 0; i < children.count; ++i, entry = entry->next) {
            const UdfNode* child = entry->value;
            // Keys are plain values; an object's bytes are its table, not a key.
            if (!child || child->IsObject()) continue;
            // A short entry reads as zeros past its end rather than past its buffer.
            u8 bytes[kStoredKeySize] = {};
            child->ReadData(bytes, kStoredKeySize);
            KeyData key = KeyFromBytes(bytes);
            // -0 and 0 are one time: the track files both under 0, and so must the key.
            if (key.time == 0.0f) key.time = 0.0f;
            const bool position = String::EqualsText(child->GetTypeName(), "pos");
            // A time that is not a number has no place in a track: AddKey refuses it.
            const bool added =
                position ? flight.PositionTrack().AddKey(key) : flight.RotationTrack().AddKey(key);
            if (added) ++filed;
        }
    }
    reader.Close();
    return filed;
}

namespace {

// The entries of one track, "<prefix><i>" for its i-th key in time order.
bool AddEntries(const KeyTrack& keys, const char* prefix, std::vector<std::unique_ptr<UdfNode>>& nodes,
                UdfNodeList& list) {
    u32 index = 0;
    for (const KeyTrack::Entry* key = keys.First(); key; key = keys.Next(key), ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%u", prefix, index);
        KeyData stored = key->value;
        stored.time = key->key;
        nodes.push_back(std::make_unique<UdfNode>(String(name), String(prefix), &stored, kStoredKeySize, true));
        if (!list.PushBack(nodes.back().get())) return false;
    }
    return true;
}

bool ListEntries(CameraBase& flight, std::vector<std::unique_ptr<UdfNode>>& nodes, UdfNodeList& list) {
    return AddEntries(flight.PositionTrack().keys, "pos", nodes, list) &&
           AddEntries(flight.RotationTrack().keys, "rot", nodes, list);
}

}  // namespace

bool WriteCameraPath(CameraBase& flight, const String& fileName) {
    std::vector<std::unique_ptr<UdfNode>> nodes;
    UdfNodeList list;
    if (!ListEntries(flight, nodes, list)) return false;
    UdfBinaryWriter writer;
    return writer.Write(fileName, &list, nullptr, 0);
}

bool WriteCameraPath(CameraBase& flight, Stream* out) {
    std::vector<std::unique_ptr<UdfNode>> nodes;
    UdfNodeList list;
    if (!ListEntries(flight, nodes, list)) return false;
    UdfBinaryWriter writer;
    return writer.WriteTo(out, &list, nullptr);
}
