// Loading the variants of an effect: the definitions are added in a fixed order (the
// caller's, then per kind its lights, its count and its extra definition, then the
// interpolators and the shader model) because that order is part of the cache key and of
// the compiled file's name.
#include "Effect/Effect.h"

#include "Core/ProgramObjects.h"
#include "Effect/EffectManager.h"

namespace {

u32 NextEffectSequence() {
    static u32 next = 0;
    return ++next;
}

String Decimal(i32 value) { return String::FromInt(value, 10); }

}  // namespace

Effect::Effect() : sequence(NextEffectSequence()) {
    techniqueNames.sortedThread = 1;
    techniqueIndex.sortedThread = 1;
}

Effect::~Effect() {
    TheFrameNotifier().Remove(this);
    Unregister();
}

bool Effect::Create() { return Register(); }

bool Effect::Invalidate() {
    parameterRefresh = 1;
    return true;
}

void Effect::OnFrame(u32) {}

bool Effect::IsTransparent(const Material*, i32) const { return false; }

bool Effect::BeginPass(i32) { return false; }

bool Effect::End() { return true; }

void Effect::AddName(const String& name, i32 quality) { names.Insert(name, quality); }

bool Effect::LoadEffectGroup(EffectCodeArray& codes, SHADERDESC desc, i32 firstTexcoord, Array<LightGroup>& groups,
                             i32 psVersion) {
    for (LightGroup& group : groups) group.Reset();
    i32 variant = codes.count;
    const i32 callerMacros = desc.macros.count;
    for (;;) {
        desc.macros.Resize(callerMacros);
        i32 texcoord = firstTexcoord;
        i32 light = 1;
        String interpolators;
        StringMapOf<u8> sharedUsed;
        StringMapOf<u8> definesUsed;
        auto output = [&](const String& name) {
            interpolators.Append(name);
            interpolators.Append(String(":TEXCOORD"));
            interpolators.Append(Decimal(texcoord++));
            interpolators.Append(String(";"));
        };
        for (LightGroup& group : groups) {
            for (i32 k = 0; k < group.KindCount(); ++k) {
                const LightKind& kind = group.Kind(k);
                const i32 n = group.Count(k);
                for (i32 j = 0; j < n; ++j) {
                    desc.macros.Add(ShaderMacro{kind.name + Decimal(light), String()});
                    for (const String& name : kind.perLight) output(name);
                    for (const String& name : kind.shared) {
                        if (sharedUsed.Contains(name)) continue;
                        sharedUsed.Insert(name, 0);
                        output(name);
                    }
                    ++light;
                }
                desc.macros.Add(ShaderMacro{"NUM" + kind.name, Decimal(n)});
                if (n != 0 && !kind.define.IsEmpty() && !definesUsed.Contains(kind.define)) {
                    definesUsed.Insert(kind.define, 0);
                    desc.macros.Add(ShaderMacro{kind.define, String()});
                }
            }
        }
        desc.macros.Add(ShaderMacro{String("TEXCOORDS"), interpolators});
        if (const char* model = ChoosePixelShaderModel(texcoord, psVersion)) {
            desc.macros.Add(ShaderMacro{String("PS_MODEL"), String(model)});
            const RefHandle<EffectCode> code = TheEffectManager().GetEffectCode(&desc);
            codes.AssignHandle(variant, code);
            if (!code) return false;
            for (auto* node = code->techniqueIndex.first; node && code->techniqueIndex.count;) {
                if (!techniqueIndex.Contains(node->key)) techniqueIndex.Insert(node->key, NoValue());
                node = node->next;
                if (node == code->techniqueIndex.first) break;
            }
            for (auto* node = code->techniques.first; node && code->techniques.count;) {
                if (!techniqueNames.Contains(node->key)) techniqueNames.Insert(node->key, 0);
                node = node->next;
                if (node == code->techniques.first) break;
            }
            ++variant;
        }
        bool stepped = false;
        for (LightGroup& group : groups) {
            if (group.Next()) {
                stepped = true;
                break;
            }
            group.Reset();
        }
        if (!stepped) return true;
    }
}
