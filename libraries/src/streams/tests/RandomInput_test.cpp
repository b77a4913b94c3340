// Damaged and random inputs for every binary reader: each either refuses with an exception or
// consumes no more than it was given. Run under the address sanitizer, an overrun fails loudly.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

#include "StreamTestUtil.h"
#include "kttl_Buffer.h"
#include "kttl_Double.h"
#include "kttl_Integer.h"
#include "kttl_String.h"
#include "kttl_UUID.h"
#include "ktsl_IntMap.h"
#include "ktsl_List.h"
#include "ktsl_MemIOStream.h"
#include "ktsl_Set.h"
#include "ktsl_StringMap.h"

namespace {

using Factory = std::function<std::unique_ptr<ktsl::Serializable>()>;

template <class T>
Factory make() {
    return [] { return std::unique_ptr<ktsl::Serializable>(new T); };
}

// Valid forms to start the damage from.
std::vector<Bytes> seeds() {
    ktsl::StringMap<ktsl::List<kttl::String>> nested;
    nested["a"] = ktsl::List<kttl::String>{"x", "yy"};
    nested["b"];
    ktsl::IntMap<kttl::Double> im{{1, 0.5}, {-3, 2.0}};
    ktsl::Set<kttl::Integer> set{1, 2, 3};
    ktsl::MemIOStream s;
    s.write(kttl::String("abc"));
    s.write(set);
    return {binOf(kttl::String("hello")), binOf(kttl::Buffer("\1\2\3", 3)), binOf(nested), binOf(im),
            binOf(set), binOf(s), binOf(ktsl::List<kttl::UUID>{kttl::UUID::generate()})};
}

// Feeds `in` to a fresh value of each kind; the input lives in its own exact-size allocation so
// a read past its end is caught.
void feed(const std::vector<Factory>& kinds, const Bytes& in) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[in.size() ? in.size() : 1]);
    std::copy(in.begin(), in.end(), exact.get());
    for (const Factory& kind : kinds) {
        auto v = kind();
        try {
            unsigned used = v->fromBin(exact.get(), static_cast<unsigned>(in.size()));
            ASSERT_LE(used, in.size());
        } catch (const kttl::Exception&) {
        }
    }
    // Record by record through an object stream, skipping what does not read.
    ktsl::MemIOStream s;
    s.writeBytes(exact.get(), static_cast<unsigned>(in.size()));
    for (int guard = 0; guard < 1000 && !s.isEmpty(); ++guard) {
        try {
            if (s.getNextType() == 501) {
                kttl::String str;
                s.read(str);
            } else {
                s.skip();
            }
        } catch (const kttl::Exception&) {
            break;
        }
    }
}

}  // namespace

TEST(RandomInput, DamagedAndRandomFormsNeverOverrun) {
    const std::vector<Factory> kinds{make<kttl::String>(), make<kttl::Buffer>(), make<kttl::Integer>(),
                                     make<kttl::Double>(), make<kttl::UUID>(), make<ktsl::MemIOStream>(),
                                     make<ktsl::List<kttl::String>>(), make<ktsl::Set<kttl::Integer>>(),
                                     make<ktsl::StringMap<ktsl::List<kttl::String>>>(),
                                     make<ktsl::IntMap<kttl::Double>>(), make<ktsl::List<kttl::UUID>>()};
    std::mt19937 rng(12345);
    const std::vector<Bytes> base = seeds();
    for (int round = 0; round < 3000; ++round) {
        Bytes in = base[rng() % base.size()];
        switch (rng() % 4) {
            case 0:  // flip a few bytes
                for (int k = 0; k < 3 && !in.empty(); ++k) in[rng() % in.size()] = static_cast<unsigned char>(rng());
                break;
            case 1:  // cut short
                in.resize(rng() % (in.size() + 1));
                break;
            case 2:  // length-field-sized garbage at a random spot
                if (in.size() >= 4) {
                    size_t at = rng() % (in.size() - 3);
                    uint32_t v = rng() % 2 ? 0xFFFFFFFFu - (rng() % 16) : rng();
                    for (int i = 0; i < 4; ++i) in[at + i] = static_cast<unsigned char>(v >> (8 * i));
                }
                break;
            default:  // plain noise
                in.assign(rng() % 64, 0);
                for (auto& b : in) b = static_cast<unsigned char>(rng());
        }
        feed(kinds, in);
        if (HasFatalFailure()) return;
    }
}
