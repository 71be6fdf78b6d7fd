// The printing face made at start-up: reading the system's Noto Serif CJK
// collection and writing the copy with the cleaned character map, per face.
#include "controls/FontCmap.h"

#include <benchmark/benchmark.h>

#include <QFile>

static void BM_PrintFaceFromCollection(benchmark::State &state)
{
    const char *path = "/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc";
    for (auto _ : state) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("Noto Serif CJK is not installed");
            return;
        }
        // Face 2 of Debian's collection is the SC one; any face costs the same.
        const QByteArray font = ui::fontWithIdeographGlyphsOnly(file.readAll(), 2, QStringLiteral("Bench Serif"));
        benchmark::DoNotOptimize(font.size());
    }
}
BENCHMARK(BM_PrintFaceFromCollection)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
