// The video-process protocol (skipping, resizing, errors, parameters, statistics) and the parameter forms.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ProcessParams.h"
#include "VideoProcess.h"
#include "capture_logger.h"
#include "frame_harness.h"
#include "ktpl_InterfaceIds.h"

namespace {

// Records every call the protocol makes; onProcessFrame does what `behaviour` says.
class Probe : public VideoProcess {
  public:
    enum Behaviour { Succeed, Fail, ThrowStd, ThrowOther } behaviour = Succeed;
    bool acceptParameters = true;
    int resizes = 0, frames = 0, resets = 0, enables = 0;
    unsigned lastWidth = 0;
    double lastScale = 0;

    kttl::String getProcessType() const override { return "Probe"; }
    void resetProcess() override { ++resets; }

  protected:
    void onFrameResize(unsigned w, unsigned, double scale) override { ++resizes, lastWidth = w, lastScale = scale; }
    bool onProcessFrame(ProcessFrame&) override {
        ++frames;
        captureStats("work");
        releaseStats("work");
        if (behaviour == ThrowStd) throw std::runtime_error("bad pixel");
        if (behaviour == ThrowOther) throw 42;
        return behaviour != Fail;
    }
    void onEnable(bool) override { ++enables; }
    bool onSetParameters(const ProcessParams&) override { return acceptParameters; }
};

// A parameter block with a payload of its own, in both forms.
class CountParams : public ProcessParams {
  public:
    int32_t count = 0;
    ktsl::MemIOStream binSerialize() const override {
        ktsl::MemIOStream s;
        s.write(kttl::Integer(count));
        return s;
    }
    bool binUnserialize(const ktsl::MemIOStream& payload) override {
        if (payload.isEmpty()) return false;
        kttl::Integer v;
        ktsl::MemIOStream copy(payload);
        copy.read(v);
        return count = v, true;
    }
    kttl::String xmlSerialize() const override { return kttl::String::format("<count>%d</count>", count); }
    bool xmlUnserialize(const kttl::String& body) override {
        int v = 0;
        if (std::sscanf(body.c_str(), "<count>%d</count>", &v) != 1) return false;
        return count = v, true;
    }
};

}  // namespace

TEST(VideoProcess, ProtocolAroundEachFrame) {
    CaptureLogger logger;
    Probe p;
    p.setLogger(&logger);
    FrameHarness h;
    kt_image image = makeImage(8, 6, 1, 0);
    h.load(image, 3725042);
    h.frame().setResolution(ktvl::Resolution(8, 6));

    // Created disabled: frames pass untouched, not even resized for.
    EXPECT_TRUE(p.processFrame(h.frame()) && p.resizes + p.frames == 0);

    ProcessParams params = p.getDefaultParameters();
    EXPECT_TRUE(params.isEnabled() && params.getName() == "Probe" && params.getElementName() == "Probe");
    params.setName("probe-1");
    ASSERT_TRUE(p.setParameters(params));
    EXPECT_TRUE(p.isEnabled() && p.getName() == "probe-1" && p.enables == 1 && p.resizes == 1);

    // Same size and scale twice: one resize; a new scale: another.
    EXPECT_TRUE(p.processFrame(h.frame()) && p.processFrame(h.frame()) && p.resizes == 2 && p.lastWidth == 8 &&
                p.frames == 2);
    h.frame().setScale(0.5);
    EXPECT_TRUE(p.processFrame(h.frame()) && p.resizes == 3 && p.lastScale == 0.5);

    // Failures: logged with the position, exceptions reset the process; the chain goes on.
    const struct { Probe::Behaviour behaviour; const char* line; int resets; } cases[] = {
        {Probe::Fail, "ERR  probe-1: Couldn't process frame at 01:02:05.042.", 0},
        {Probe::ThrowStd, "ERR  probe-1: probe-1 - Caught Exception (resetting process): bad pixel", 1},
        {Probe::ThrowOther, "ERR  probe-1: probe-1 - Caught Unknown Exception (resetting process).", 2}};
    for (const auto& c : cases) {
        p.behaviour = c.behaviour;
        EXPECT_TRUE(!p.processFrame(h.frame()) && logger.has(c.line) && p.resets == c.resets) << c.line;
    }

    // Refused parameters change nothing; enable() calls onEnable only on a change.
    p.acceptParameters = false;
    params.setEnabled(false);
    EXPECT_TRUE(!p.setParameters(params) && p.isEnabled() && p.enables == 1);
    p.enable(true);
    p.enable(false);
    EXPECT_TRUE(!p.isEnabled() && p.enables == 2);

    // Statistics: the first 10 samples dropped, one line each, then forgotten.
    EXPECT_EQ(p.getStats().at("work").size(), 6u);
    p.dumpStats();
    EXPECT_TRUE(logger.has("INFO probe-1: work -- mean: -1, median: -1, samples: 0") && p.getStats().empty());

    ktpl::Plugin* out = nullptr;
    EXPECT_TRUE(p.supports("{fc85e573-5ef9-4D3C-8c07-d9068ee85954}", &out) && out == &p);
    EXPECT_FALSE(p.supports(ktpl::iid::Tracker, &out) || p.supports(nullptr, &out));
    kt_free_image(&image);
}

TEST(ProcessParams, FormsAndHostileInput) {
    CountParams a;
    a.setElementName("tracker");
    a.setName("main");
    a.setMode("fast");
    a.setEnabled(false);
    a.count = 7;
    EXPECT_EQ(a.toXML(), "<tracker enabled=\"false\" mode=\"fast\" name=\"main\"><count>7</count></tracker>");

    CountParams b, c;
    ASSERT_TRUE(b.fromXML(a.toXML().c_str()));
    EXPECT_TRUE(b.count == 7 && !b.isEnabled() && b.getName() == "main" && b.getMode() == "fast");
    ASSERT_TRUE(b.fromXML("<tracker enabled=\"TRUE\"><count>9</count></tracker>"));
    EXPECT_TRUE(b.count == 9 && !b.isEnabled() && b.getName() == "tracker") << "only \"true\" enables";
    EXPECT_FALSE(b.fromXML("<tracker enabled=\"true\"><other/></tracker>")) << "a body the hook refuses";
    EXPECT_TRUE(!b.fromXML("<tracker") && b.count == 9);

    ProcessParams plain;
    plain.setElementName("p");
    plain.setName("p");
    EXPECT_EQ(plain.toXML(), "<p enabled=\"true\"/>");

    // Binary: round trip, then every truncation and a hostile length refused with the block unchanged.
    std::vector<unsigned char> bytes(a.getBinLength());
    ASSERT_EQ(a.toBin(bytes.data()), bytes.size());
    ASSERT_EQ(c.fromBin(bytes.data(), static_cast<unsigned>(bytes.size())), bytes.size());
    EXPECT_TRUE(c.count == 7 && c.getName() == "main" && c.getElementName() == "tracker" && !c.isEnabled());
    for (size_t n = 0; n < bytes.size(); ++n) {
        CountParams d;
        EXPECT_THROW(d.fromBin(bytes.data(), static_cast<unsigned>(n)), std::exception) << n;
        EXPECT_TRUE(d.count == 0 && d.getName().empty() && d.isEnabled()) << n;
    }
    std::vector<unsigned char> hostile = bytes;
    hostile[1] = hostile[2] = hostile[3] = hostile[4] = 0xFF;  // the mode's length
    EXPECT_THROW(c.fromBin(hostile.data(), static_cast<unsigned>(hostile.size())), std::exception);
    EXPECT_EQ(c.count, 7);
}
