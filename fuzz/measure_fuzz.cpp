// Fuzz target for opening and measuring a cart: the packet scan that gives Length, then the
// decoder's open and a bounded decode (what preparing a cart does). Any crash, hang or
// sanitizer report is a bug; the outcome for a bad file is a length and nothing more.
#include "audio/decoder.h"

#include <QDir>
#include <QTemporaryFile>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {
// The first byte picks the name the file gets (the name is only a hint to the probe); the
// corpus files start with it: 1 .wav, 2 .mp3, 3 .mpg.
const char* const kTemplates[] = {"airloom-fuzz-XXXXXX", "airloom-fuzz-XXXXXX.wav",
                                  "airloom-fuzz-XXXXXX.mp3", "airloom-fuzz-XXXXXX.mpg"};
constexpr int kRate = 48000;
constexpr int kMaxFrames = 10 * kRate;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // In the temporary folder: an input that kills the target leaves its file there, not
    // in the working directory (which may be a checkout).
    QTemporaryFile file(QDir::temp().filePath(QString::fromLatin1(kTemplates[data[0] % 4])));
    if (!file.open())
        return 0;
    file.write(reinterpret_cast<const char*>(data + 1), static_cast<qint64>(size - 1));
    file.flush();

    const Decoder::Measurement measured = Decoder::measure(file.fileName());
    Decoder decoder(kRate);
    if (!decoder.open(file.fileName()))
        return 0;
    std::vector<float> chunk(4096 * 2);
    int total = 0;
    while (total < kMaxFrames) {
        const int got = decoder.read(chunk.data(), 4096);
        total += got;
        if (got < 4096)
            break;
    }
    // Both paths open the file the same way.
    if (!measured.ok)
        __builtin_trap();
    return 0;
}
