// Feeds arbitrary bytes to the release-manifest reader. Whatever it keeps must be something the update
// dialog can safely offer: a version, a positive size, a full-length digest and a download that cannot be swapped on
// the way.
//
//   fuzz_manifest -max_len=8192 CORPUS

#include "Manifest.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const NorvUpdate::ManifestParseResult result = NorvUpdate::parseManifest(bytes);
    if (!result.usable && result.error.isEmpty()) {
        std::fprintf(stderr, "fuzz_manifest: rejected without a reason\n");
        std::abort();
    }
    for (auto it = result.manifest.artifacts.cbegin(); it != result.manifest.artifacts.cend(); ++it) {
        const NorvUpdate::Artifact& a = it.value();
        if (a.version.isEmpty() || a.size < 1 || a.sha256.size() != 64 || !NorvUpdate::isSafeDownloadUrl(a.url)) {
            std::fprintf(stderr, "fuzz_manifest: kept an artifact that fails validation: %s\n", qPrintable(it.key()));
            std::abort();
        }
        NorvUpdate::evaluateManifest(result.manifest, it.key(), QStringLiteral("1.1.1"));
    }
    return 0;
}
