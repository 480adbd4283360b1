// The one part of the layout type that needs the Application: its device declaration.
#include "D3d/Application.h"
#include "D3d/VertexDeclaration.h"

IDirect3DVertexDeclaration9* VertexDeclaration::GetD3DDeclaration() const {
    Application* app = TheApplication();
    return app ? app->GetVertexDeclaration(*this) : nullptr;
}
