// Placeholders for the mesh and material readers until their own files land (delete this
// file when Scene/AdvSceneMesh.cpp and Scene/AdvSceneMaterial.cpp are merged).
#include "Scene/AdvScene.h"

bool AdvScene::CreateMesh(UdfNode*, Hierarchy*, Material*, FrameSequence*, SkinData*) { return true; }
bool AdvScene::LoadMesh(UdfNode*, Hierarchy*) { return false; }
bool AdvScene::LoadMaterials(UdfNode*) { return false; }
bool AdvScene::ReadMaterial(UdfNode*, MaterialLayer&) { return false; }
bool AdvScene::ReadMaterialStates(UdfNode*, Hierarchy*, const Material*) { return false; }
