#pragma once

// Registers the compiled-in pictures (":/pictures/..."). A resource in a static
// library is not registered by itself; call this once before using any of them
// (calling it again does nothing).
void InitVexoAssets();
