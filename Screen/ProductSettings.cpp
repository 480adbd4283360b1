#include "Screen/ProductSettings.h"

#include "Core/ParamTable.h"
#include "Core/Parameter.h"

#include <new>

i32 ShadowQualitySetting = 50;
i32 DayLengthSetting = 0;
i32 DayMinLengthSetting = 0;
i32 DayMaxLengthSetting = 0;

void ResetProductSettings() {
    ShadowQualitySetting = 50;
    DayLengthSetting = 0;
    DayMinLengthSetting = 0;
    DayMaxLengthSetting = 0;
}

namespace {

// A key registered again (Restore Defaults loads the configuration anew) replaces its
// entry in both tables, so each value is read and written once.
void RegisterDocumentInt(const char* key, i32* target) {
    g_paramRegistry.Own(String(key), new (std::nothrow) IntRefParameter(String(key), false, target));
}

void RegisterUserInt(const char* key, i32* target) {
    RegisterDocumentInt(key, target);
    g_paramTable.Add(String(key), new (std::nothrow) RegistryValue(target));
}

void UnregisterDocumentInt(const char* key, i32* target) {
    if (auto* p = dynamic_cast<IntRefParameter*>(g_paramRegistry.Owned(String(key))); p && p->variable == target)
        g_paramRegistry.Disown(String(key));
}

void UnregisterUserInt(const char* key, i32* target) {
    UnregisterDocumentInt(key, target);
    if (RegistryValue* r = g_paramTable.Find(String(key)); r && r->variable == target) g_paramTable.Remove(String(key));
}

}  // namespace

void RegisterProductSettings(bool bounds) {
    RegisterUserInt("ShadowQuality", &ShadowQualitySetting);
    RegisterUserInt("DayLength", &DayLengthSetting);
    if (bounds) {
        RegisterDocumentInt("DayMinLength", &DayMinLengthSetting);
        RegisterDocumentInt("DayMaxLength", &DayMaxLengthSetting);
    }
}

void UnregisterProductSettings() {
    UnregisterUserInt("ShadowQuality", &ShadowQualitySetting);
    UnregisterUserInt("DayLength", &DayLengthSetting);
    UnregisterDocumentInt("DayMinLength", &DayMinLengthSetting);
    UnregisterDocumentInt("DayMaxLength", &DayMaxLengthSetting);
}
