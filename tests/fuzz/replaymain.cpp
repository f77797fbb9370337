// Runs a fuzz target without libFuzzer: over every file of its seed folder,
// then over pseudo-random inputs from a fixed seed, so that the ordinary
// test run checks the same properties the fuzzer does.
#include "tests/support/helpers.h"

#include <QDir>

#include <cstdint>
#include <cstdio>
#include <random>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    const QDir seeds(QString::fromLocal8Bit(argc == 2 ? argv[1] : ""));
    const QStringList names = seeds.entryList(QDir::Files);
    if (argc != 2 || names.isEmpty()) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER (a folder of seed files)\n", argv[0]);
        return 2;
    }
    for (const QString &name : names) {
        const QByteArray bytes = readFile(seeds.filePath(name));
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
    }
    const int runs = 20000;
    std::mt19937 random(20261206);
    // Inputs built from the bytes that matter most here, plus any byte.
    const char alphabet[] = "0123456789,.nNeEoOmMsS \t\r\n\"\\=[];#\xc3\xa9\xe2\x82\xac\xff\x00\x80\xbf\xf0";
    for (int run = 0; run < runs; ++run) {
        std::string input(random() % 24, '\0');
        for (char &c : input)
            c = random() % 4 ? alphabet[random() % (sizeof alphabet - 1)] : char(random() % 256);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(input.data()), input.size());
    }
    std::printf("%d seed files and %d generated inputs: no failure\n", int(names.size()), runs);
    return 0;
}
