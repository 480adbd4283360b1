// Placeholders for the material readers until their own file lands (delete this file when
// Scene/AdvSceneMaterial.cpp is merged).
#include "Scene/AdvScene.h"

bool AdvScene::LoadMaterials(UdfNode*) { return false; }
bool AdvScene::ReadMaterial(UdfNode*, MaterialLayer&) { return false; }
bool AdvScene::ReadMaterialStates(UdfNode*, Hierarchy*, const Material*) { return false; }
