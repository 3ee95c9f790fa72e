#pragma once
// What the About page's reel draws: frame n scrolls the four icons up 4 pixels a frame through the
// window (10, 15)-(50, 143), one icon height every 8 frames, the top icon coming back in from below.
#include <string>
#include <vector>

namespace reeltest {

inline std::vector<std::string> frame(unsigned n) {
    int s = int(n % 8), r = int(n / 8 % 4);
    std::vector<std::string> ops;
    for (int i = 0; i < 5; ++i)
        if (i < 4 || s > 0)
            ops.push_back("DrawIcon " + std::to_string(601 + (r + i) % 4) + " 10 " +
                          std::to_string(i < 4 ? 15 + 32 * i - 4 * s : 143 - 4 * s) + " clip 10 15 50 143");
    return ops;
}

// The frame counts of the runs of the reel that ops holds one after another, a run starting again at
// frame 0 (frame 32 looks like frame 0 too); empty when ops is not whole frames of such runs, unless
// lastMayBeCut lets the last frame stop short.
inline std::vector<unsigned> runs(const std::vector<std::string>& ops, bool lastMayBeCut) {
    std::vector<unsigned> out;
    for (size_t at = 0; at < ops.size(); ++out.back()) {
        if (out.empty() || ops[at] == frame(0)[0]) out.push_back(0);
        for (const std::string& op : frame(out.back())) {
            if (at == ops.size()) return lastMayBeCut ? out : std::vector<unsigned>{};
            if (ops[at++] != op) return {};
        }
    }
    return out;
}

} // namespace reeltest
