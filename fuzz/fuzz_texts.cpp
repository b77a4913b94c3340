// Resolution, time and truth-line texts: byte 0 picks the parser; for time stamps the text before the first
// line end is the format and the rest the text. Whatever parses must format again.
#include <cstring>
#include <string>
#include <vector>

#include "FuzzValues.h"
#include "csdk_truth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t cut = text.find('\n');
    const std::string format = cut == std::string::npos ? text : text.substr(0, cut);
    const std::string rest = cut == std::string::npos ? std::string() : text.substr(cut + 1);
    switch (data[0] % 6) {
        case 0: {
            ktvl::Resolution r;
            if (r.fromString(text)) (void)r.toString();
            break;
        }
        case 1: {
            const kttl::TimeStamp t = kttl::TimeStamp::fromString(rest, format.c_str());
            (void)t.toString(format.c_str());
            (void)t.toISOString();
            break;
        }
        case 2: {
            const kttl::TimeStamp t = kttl::TimeStamp::fromISOString(text);
            (void)t.toISOString();
            (void)t.toCondString("%H:%M", format.c_str());
            break;
        }
        case 3: {
            kttl::ElapsedTime e;
            if (e.fromHumanString(text)) {
                (void)e.toHumanString(true);
                (void)e.toTimeString(4);
                (void)e.toXML("e");
            }
            (void)kttl::ElapsedTime::fromValUnit(std::strtod(format.c_str(), nullptr), rest);
            break;
        }
        case 4: {
            // A truth line read back must write the same number of movers.
            int64_t frame = 0;
            std::vector<csdk_standin::SyntheticScene::MoverBox> movers;
            if (csdk_standin::parseTruthLine(text, frame, movers, 1000))
                (void)csdk_standin::truthLine(uint64_t(frame), movers);
            break;
        }
        default: {
            kttl::UUID u;
            u.fromString(text.c_str());
            int i = 0;
            double d = 0;
            kttl::String(text).parseInt(i);
            kttl::String(text).parseDouble(d);
            break;
        }
    }
    return 0;
}
