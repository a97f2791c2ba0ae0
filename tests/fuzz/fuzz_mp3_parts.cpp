// libFuzzer target: the splitter of MP3 files joined end to end, and the frame index of each part
// it finds, on arbitrary bytes. Beyond the sanitizers' findings, a part list that does not begin
// at 0 and rise within the data, or a frame indexed outside its part, aborts.
#include "platform/sound/mp3_frames.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

static void Check(bool holds, const char *what)
{
    if (!holds) {
        fprintf(stderr, "fuzz_mp3_parts: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly `size` bytes, so that a read past the end is seen.
    std::vector<unsigned char> bytes(data, data + size);
    const std::vector<size_t> starts = FindMp3Parts(bytes.data(), size);
    Check(!starts.empty() && starts[0] == 0, "the first part does not begin at 0");
    for (size_t i = 1; i < starts.size(); i++)
        Check(starts[i] > starts[i - 1] && starts[i] < size, "a part begins out of order or past the data");
    for (size_t i = 0; i < starts.size(); i++) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : size;
        std::vector<unsigned char> part(bytes.begin() + long(starts[i]), bytes.begin() + long(end));
        Mp3Frames frames;
        const char *why = nullptr;
        if (!IndexMp3Frames(part.data(), part.size(), &frames, &why)) {
            Check(why && why[0], "a part without frames is not said why");
            continue;
        }
        Check(frames.offset.size() == frames.bytes.size() && !frames.offset.empty(), "an index without frames");
        for (size_t f = 0; f < frames.offset.size(); f++)
            Check(size_t(frames.offset[f]) + frames.bytes[f] <= part.size(), "a frame indexed past its part");
        Check(frames.length >= 0 && frames.skip >= 0, "a negative length or skip");
    }
    return 0;
}
