#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.h"
#include "lancamentos_packet.h"

#include "framework/data/packet_codec.h"

namespace {

// The previous result is released before each run, so that a run neither pays for freeing it nor holds
// two copies at its peak.
template <typename Result, typename Work> double medianOfFreshRuns(int runs, Result &result, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        result = Result();
        const auto start = std::chrono::steady_clock::now();
        result = work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return bench::median(std::move(times));
}

} // namespace

// Encoding and decoding of the largest packet the forms load: the entry list of a busy account.
int main() {
    constexpr int Rows = 100'000;
    constexpr int Runs = 7;
    const bco::DataPacket packet = bench::lancamentosPacket(Rows);

    QByteArray bytes;
    const double encodeMs = medianOfFreshRuns(Runs, bytes, [&] { return bco::encodePacket(packet); });
    bco::DataPacket decoded;
    const double decodeMs = medianOfFreshRuns(Runs, decoded, [&] { return bco::decodePacket(bytes); });
    if (!(decoded == packet)) {
        std::fprintf(stderr, "the decoded packet differs from the encoded one\n");
        return EXIT_FAILURE;
    }

    bench::report("codec_encode_100k_entries", encodeMs, "ms");
    bench::report("codec_decode_100k_entries", decodeMs, "ms");
    bench::report("codec_size_100k_entries", static_cast<double>(bytes.size()) / (1024.0 * 1024.0), "MiB");
    bench::report("codec_peak_resident", bench::peakResidentMegabytes(), "MiB");
    return EXIT_SUCCESS;
}
