#pragma once
// What the About page's icon reel draws, frame by frame, worked out from the reel's description: four
// icons scroll up 4 pixels a frame through the window (10, 15)-(50, 143), one icon height every 8
// frames, the leaving icon coming back in from below.
#include <string>
#include <vector>

namespace reeltest {

inline std::vector<std::string> frame(unsigned n) {
    static const int ids[4] = {601, 602, 603, 604};
    unsigned s = n % 8, r = (n / 8) % 4;
    std::vector<std::string> ops;
    auto draw = [&](int id, int y) {
        ops.push_back("DrawIcon " + std::to_string(id) + " 10 " + std::to_string(y) + " clip 10 15 50 143");
    };
    for (unsigned i = 0; i < 4; ++i)
        draw(ids[(r + i) % 4], int(15 + 32 * i - 4 * s));
    if (s > 0) draw(ids[r], int(143 - 4 * s));
    return ops;
}

// Splits a stream of drawing operations into runs of the reel, each restarting at frame 0. Returns
// the number of frames of each run, or an empty list (with why) when the stream is not whole frames
// of consecutive runs (a frame cut short, two reels interleaved, a wrong position). The last run may
// end inside a frame when lastMayBeCut is set (the reel was still running when the stream was taken).
inline std::vector<unsigned> runs(const std::vector<std::string>& ops, bool lastMayBeCut, std::string* why) {
    std::vector<unsigned> out;
    size_t at = 0;
    unsigned n = 0;
    while (at < ops.size()) {
        // A run restarts where frame 0 stands at a frame boundary other than where the picture
        // repeats by itself (a run of the tests never lasts 32 frames).
        std::vector<std::string> next = frame(n);
        if (out.empty() || (n % 32 != 0 && ops[at] == frame(0)[0] && ops[at] != next[0])) {
            out.push_back(0);
            n = 0;
            next = frame(0);
        }
        for (size_t k = 0; k < next.size(); ++k, ++at) {
            if (at == ops.size()) {
                if (lastMayBeCut) return out;
                *why = "frame " + std::to_string(n) + " is cut short";
                return {};
            }
            if (ops[at] != next[k]) {
                *why = "operation " + std::to_string(at) + " is \"" + ops[at] + "\", frame " +
                       std::to_string(n) + " draws \"" + next[k] + "\"";
                return {};
            }
        }
        ++out.back();
        ++n;
    }
    return out;
}

} // namespace reeltest
