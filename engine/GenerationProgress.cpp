#include "engine/GenerationProgress.h"

CGenerationProgress& CGenerationProgress::Instance() {
    static CGenerationProgress progress;
    return progress;
}
