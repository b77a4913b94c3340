// Damaged and random inputs for every binary reader: each either refuses with an exception or
// consumes no more than it was given. Run under the address sanitizer, an overrun fails loudly.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "../../misc/tests/TestBytes.h"
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

TEST(RandomInput, DamagedAndRandomFormsNeverOverrun) {
    using Nested = ktsl::StringMap<ktsl::List<kttl::String>>;
    const Nested nested{{"a", {"x", "yy"}}, {"b", {}}};
    const ktsl::IntMap<kttl::Double> im{{1, 0.5}, {-3, 2.0}};
    const ktsl::Set<kttl::Integer> set{1, 2, 3};
    ktsl::MemIOStream stream;
    stream.write(kttl::String("abc"));
    stream.write(set);
    // Valid forms to start the damage from, and one reader of each kind (reused: a refused input
    // must leave it usable).
    const std::vector<Bytes> seeds{binOf(kttl::String("hello")), binOf(kttl::Buffer("\1\2\3", 3)), binOf(nested),
                                   binOf(im), binOf(set), binOf(stream),
                                   binOf(ktsl::List<kttl::UUID>{kttl::UUID::generate()})};
    std::vector<std::unique_ptr<ktsl::Serializable>> readers;
    readers.emplace_back(new kttl::String);
    readers.emplace_back(new kttl::Buffer);
    readers.emplace_back(new kttl::Integer);
    readers.emplace_back(new kttl::Double);
    readers.emplace_back(new kttl::UUID);
    readers.emplace_back(new ktsl::MemIOStream);
    readers.emplace_back(new ktsl::List<kttl::String>);
    readers.emplace_back(new ktsl::Set<kttl::Integer>);
    readers.emplace_back(new Nested);
    readers.emplace_back(new ktsl::IntMap<kttl::Double>);
    readers.emplace_back(new ktsl::List<kttl::UUID>);

    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        Bytes in = seeds[rng() % seeds.size()];
        switch (rng() % 4) {
            case 0:  // flip a few bytes
                for (int k = 0; k < 3 && !in.empty(); ++k) in[rng() % in.size()] = static_cast<unsigned char>(rng());
                break;
            case 1:  // cut short
                in.resize(rng() % (in.size() + 1));
                break;
            case 2:  // length-field-sized garbage at a random spot
                if (in.size() >= 4) {
                    const size_t at = rng() % (in.size() - 3);
                    const uint32_t v = rng() % 2 ? 0xFFFFFFFFu - (rng() % 16) : rng();
                    for (int i = 0; i < 4; ++i) in[at + i] = static_cast<unsigned char>(v >> (8 * i));
                }
                break;
            default:  // plain noise
                in.assign(rng() % 64, 0);
                for (auto& b : in) b = static_cast<unsigned char>(rng());
        }
        // An exact-size copy, so that a read past its end is caught.
        const std::unique_ptr<unsigned char[]> exact(new unsigned char[in.size() + (in.empty() ? 1 : 0)]);
        std::copy(in.begin(), in.end(), exact.get());
        const unsigned n = static_cast<unsigned>(in.size());
        for (auto& r : readers) {
            try {
                ASSERT_LE(r->fromBin(exact.get(), n), n);
            } catch (const kttl::Exception&) {
            }
        }
        // Record by record through an object stream, skipping what does not read.
        ktsl::MemIOStream s;
        s.writeBytes(exact.get(), n);
        try {
            for (kttl::String str; !s.isEmpty();) s.getNextType() == 501 ? s.read(str) : s.skip();
        } catch (const kttl::Exception&) {
        }
    }
}
