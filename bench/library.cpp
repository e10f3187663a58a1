#include "library/cartlist.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kCartCount = 10000;

// A category folder of ten thousand carts with names of mixed case and extension, and a
// few files that are not carts.
class CartFolder {
public:
    CartFolder() {
        static const char* const kExtensions[] = {".wav", ".MP3", ".mpg", ".Wav"};
        for (int i = 0; i < kCartCount; ++i) {
            const QString name = QStringLiteral("%1 Cart %2%3")
                                     .arg(i % 2 ? QStringLiteral("Promo") : QStringLiteral("Spot"))
                                     .arg((i * 7919) % kCartCount, 5, 10, QLatin1Char('0'))
                                     .arg(QLatin1String(kExtensions[i % 4]));
            QFile(m_dir.filePath(name)).open(QIODevice::WriteOnly);
        }
        for (int i = 0; i < 100; ++i)
            QFile(m_dir.filePath(QStringLiteral("notes %1.txt").arg(i))).open(QIODevice::WriteOnly);
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

void BM_ListTenThousandCarts(benchmark::State& state) {
    CartFolder folder;
    CartList list;
    for (auto _ : state) {
        if (!list.setPath(folder.path()))
            state.SkipWithError("folder could not be listed");
        benchmark::DoNotOptimize(list.ListCount());
    }
    state.counters["carts"] = list.ListCount();
}
BENCHMARK(BM_ListTenThousandCarts)->Unit(benchmark::kMillisecond);

// One keystroke of the search box: a name half-way down the list, and the worst case that
// walks the whole list and finds nothing.
void BM_SearchKeystrokeOverTenThousandCarts(benchmark::State& state) {
    CartFolder folder;
    CartList list;
    if (!list.setPath(folder.path()))
        state.SkipWithError("folder could not be listed");
    const QString text =
        state.range(0) == 0 ? QStringLiteral("Spot Cart 05") : QStringLiteral("zz");
    for (auto _ : state) {
        list.CartListSearch(text);
        benchmark::DoNotOptimize(list.ListIndex());
    }
}
BENCHMARK(BM_SearchKeystrokeOverTenThousandCarts)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
