#include "D3d/DeviceObject.h"

#include "D3d/Application.h"
#include "D3d/DeviceContext.h"

bool DeviceObject::Register() {
    Application* app = TheApplication();
    if (!app) return false;
    app->DeviceObjects().Add(this);
    return TheDevice() != nullptr;
}

void DeviceObject::Unregister() {
    if (Application* app = TheApplication()) app->DeviceObjects().Remove(this);
}

DeviceObject::~DeviceObject() { Unregister(); }

bool MessageListener::Register() {
    Application* app = TheApplication();
    if (!app) return false;
    app->MessageListeners().Add(this);
    return true;
}

MessageListener::~MessageListener() {
    if (Application* app = TheApplication()) app->MessageListeners().Remove(this);
}
