#include <QtGlobal>

// The compiled translations live in a static library; calling this keeps their registration from being
// dropped by the linker.
void norvInitTranslationResources()
{
    Q_INIT_RESOURCE(norv_translations);
}
