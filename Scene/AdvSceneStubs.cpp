// Placeholders for the mesh and material readers and the node-kind reader until their own
// files land (delete this file when Scene/AdvSceneMesh.cpp, Scene/AdvSceneMaterial.cpp and
// Scene/ParticleEmitter.cpp are merged).
#include "Scene/AdvScene.h"
#include "Scene/ParticleEmitter.h"

bool AdvScene::CreateMesh(UdfNode*, Hierarchy*, Material*, FrameSequence*, SkinData*) { return true; }
bool AdvScene::LoadMesh(UdfNode*, Hierarchy*) { return false; }
bool AdvScene::LoadMaterials(UdfNode*) { return false; }
bool AdvScene::ReadMaterial(UdfNode*, MaterialLayer&) { return false; }
bool AdvScene::ReadMaterialStates(UdfNode*, Hierarchy*, const Material*) { return false; }

// The node-kind reader's placeholder until Scene/ParticleEmitter.cpp is merged: it makes
// no node kind.
bool LoadSceneNode(Hierarchy&, SearchPathSet&) { return true; }
