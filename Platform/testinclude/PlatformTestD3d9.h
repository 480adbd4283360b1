// The Direct3D 9 part of the platform's test interface. The engine never includes it.
//
// The reference device answers from a table of adapters that tests configure; it keeps
// every state, records what reached it, and can be told to fail a call, to lose the
// device, and what its occlusion queries count. Everything here is program-wide;
// PlatformTest_D3d9Reset puts it back as a fresh process would have it (objects that are
// still alive stay alive), except that it switches recording on: a process records
// nothing until a test resets the device or asks for recording.
#pragma once

#include <d3d9.h>

#include <string>
#include <vector>

#include "Direct3D9Shared.h"

// The default adapter: a HAL device with hardware transform and lighting (pure device
// allowed), vs_2_0 and ps_2_0, an X8R8G8B8 desktop of 1024x768 at 60 Hz and modes in
// X8R8G8B8 and R5G6B5, D24S8, D16 and D24X8 depth, occlusion queries.
PlatformTestD3d9Adapter PlatformTest_D3d9DefaultAdapter();
// The caps of the default adapter's HAL device.
D3DCAPS9 PlatformTest_D3d9DefaultCaps();
// The adapters of Direct3D objects created from now on.
void PlatformTest_D3d9SetAdapters(const std::vector<PlatformTestD3d9Adapter>& adapters);

// Makes the nth call from now (1: the next) of the named method fail with `result`,
// without any other effect. The name is the method's own ("CreateVertexBuffer", "Lock",
// "CreateDevice", "Present"...); calls of it on any object count. Several methods may be
// armed at once; arming one again replaces its earlier arming.
void PlatformTest_D3d9FailCall(const char* method, int nth, HRESULT result);

// Loses the device (null: every live device): Present and TestCooperativeLevel report
// D3DERR_DEVICELOST, Reset too, until the device may be reset; its program coming back to
// the foreground does not end this loss. (A full-screen device is also lost, without this
// call, when another program's window takes the foreground: PlatformTestWindows.h.)
void PlatformTest_D3d9LoseDevice(IDirect3DDevice9* device);
// A lost device may be reset now: TestCooperativeLevel reports D3DERR_DEVICENOTRESET.
void PlatformTest_D3d9AllowReset(IDirect3DDevice9* device);

// What the next occlusion queries count, in the order their ends are issued: `pixels`,
// ready after GetData has answered S_FALSE `pendingPolls` times. Unscripted queries count
// the render target's pixels when something was drawn between begin and end, else 0,
// and are ready at once.
void PlatformTest_D3d9ScriptOcclusion(const std::vector<PlatformTestOcclusionResult>& results);

// The device's current states, readable even on a pure device; false for an index the
// device does not keep.
bool PlatformTest_D3d9RenderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state, DWORD* value);
bool PlatformTest_D3d9SamplerState(IDirect3DDevice9* device, DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value);
bool PlatformTest_D3d9TextureStageState(IDirect3DDevice9* device, DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                        DWORD* value);
bool PlatformTest_D3d9Transform(IDirect3DDevice9* device, D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix);
D3DVIEWPORT9 PlatformTest_D3d9Viewport(IDirect3DDevice9* device);
RECT PlatformTest_D3d9ScissorRect(IDirect3DDevice9* device);
// The IUnknown reference count the program holds on an object (0 for null), read without
// changing it.
ULONG PlatformTest_D3d9RefCount(IUnknown* object);

// The call log: every call that changes state or draws, in order, as text: the method's
// name and its arguments, e.g. "SetRenderState(7, 1)", "SetStreamSource(0, #12, 0, 32)"
// (objects by their creation number, "null" for none), floats as "%g", flag words in hex.
// Calls refused by the device are logged with " -> failed" appended. D3DX effects add
// their passes and warnings (PlatformTestD3dx9Effect.h). The log keeps the
// latest 131,072 calls at least; older ones are dropped in halves past 262,144.
std::vector<std::string> PlatformTest_D3d9CallLog();
void PlatformTest_D3d9ClearCallLog();
// Recording costs time and memory; it is off in a fresh process and on after a reset.
void PlatformTest_D3d9SetRecording(bool on);
// Draw calls that reached a device (recorded or not).
size_t PlatformTest_D3d9DrawCount();
// Present calls that succeeded.
size_t PlatformTest_D3d9PresentCount();
// The creation number of an object, as the call log names it; 0 for null.
unsigned PlatformTest_D3d9ObjectNumber(IUnknown* object);

// Live objects by kind.
int PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind kind);

// Back to the defaults: the default adapter, no failures armed, no device lost, no
// scripted results, an empty call log with recording on, counters and creation numbers
// from zero.
void PlatformTest_D3d9Reset();
