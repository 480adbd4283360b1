// The engine's table of D3DX functions, filled from the library as the program loads it:
// every name it asks for is one the library exports (on Windows, the real d3dx9_43.dll;
// on Linux, the platform's), and a library without them is refused with the table empty.
#include "Core/D3dxLibrary.h"

#include <gtest/gtest.h>

namespace {

// Whether every entry of the table is null, or every entry is set.
bool EveryEntry(const D3dxCalls& calls, bool set) {
    bool all = true;
#define CORVANE_D3DX_CHECK(name) all = all && ((calls.name != nullptr) == set);
    CORVANE_D3DX_FUNCTIONS(CORVANE_D3DX_CHECK)
#undef CORVANE_D3DX_CHECK
    return all;
}

}  // namespace

TEST(D3dxLibrary, TheProgramsTableHasEveryFunctionOfTheLibrary) {
    ASSERT_TRUE(D3dxLoaded());
    EXPECT_TRUE(EveryEntry(D3dx(), true));
    // The table's entries are the library's own exports.
    HMODULE library = LoadLibraryA(kD3dxLibrary);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(D3dx().MatrixMultiply),
              reinterpret_cast<void*>(GetProcAddress(library, "D3DXMatrixMultiply")));
    FreeLibrary(library);
    D3DXMATRIX m;
    const D3DXVECTOR3 axis(0.0f, 0.0f, 1.0f);
    ASSERT_EQ(D3dx().MatrixRotationAxis(&m, &axis, 0.0f), &m);
    EXPECT_FLOAT_EQ(m._11, 1.0f);
    EXPECT_FLOAT_EQ(m._12, 0.0f);
}

TEST(D3dxLibrary, ALibraryWithoutTheFunctionsLeavesEveryEntryEmpty) {
    // Direct3D 9 exports none of them.
    HMODULE other = LoadLibraryA("d3d9.dll");
    ASSERT_NE(other, nullptr);
    D3dxCalls calls;
    EXPECT_FALSE(calls.FetchAll(other));
    EXPECT_TRUE(EveryEntry(calls, false));
    FreeLibrary(other);
}
