// Writes the small seed corpora of the fuzz targets: make_seeds <folder> creates <folder>/<target>/
// with a few valid inputs each (values, their files and XML, streams, images, texts, settings).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Activity.h"
#include "FuzzValues.h"
#include "ktil_ImageJPEG.h"
#include "NetSeeds.h"
#include "SpySeeds.h"
#include "SvmSeeds.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put(const std::string& dir, int& n, const Bytes& bytes) {
    std::ofstream(dir + "/seed_" + std::to_string(n++), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
void put(const std::string& dir, int& n, const std::string& text) { put(dir, n, Bytes(text.begin(), text.end())); }

Bytes withPrefix(std::initializer_list<unsigned char> prefix, const Bytes& rest) {
    Bytes out(prefix);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

// Values with content, besides the default of every type.
std::vector<std::unique_ptr<ktsl::Serializable>> samples() {
    std::vector<std::unique_ptr<ktsl::Serializable>> out;
    Object o;
    o.setId(7);
    ktml::ColorHistogram h;
    h.addColor(200, 10, 10, 5);
    o.setHistogram(h);
    o.addClass("human");
    o.getClassConfidences()["human"] = kttl::Double(0.75);
    o.setAttribute("note", "x");
    o.insert(ktml::BoundingBox<int>(1, 2, 30, 40), ktsl::List<kttl::Integer>{kttl::Integer(3)},
             kttl::TimeStamp(1700000000, 250));
    o.insert(ktml::BoundingBox<int>(3, 4, 30, 40), {}, kttl::TimeStamp(1700000001, 0));
    o.setFullTrack(true);
    auto map = new ObjectMap;
    map->addObject(o);
    o.setId(9);
    map->addObject(o);
    out.emplace_back(new Object(o));
    out.emplace_back(map);
    auto poly = new ktml::Polygon2D<float>;
    poly->addVertex(0.0f, 0.4f);
    poly->addVertex(1.0f, 0.4f);
    poly->addVertex(1.0f, 1.0f);
    out.emplace_back(poly);
    auto strings = new ktsl::StringMap<kttl::String>;
    (*strings)["zone_type"] = "inclusion";
    (*strings)["min_age"] = "2";
    out.emplace_back(strings);
    out.emplace_back(new ktsl::List<kttl::Integer>{kttl::Integer(1), kttl::Integer(-2)});
    out.emplace_back(new kttl::TimeStamp(1700000000, 7));
    out.emplace_back(new kttl::ElapsedTime(5400000));
    out.emplace_back(new kttl::String("hello"));
    out.emplace_back(new ktml::ColorHistogram(h));
    out.emplace_back(new ktvl::Resolution(352, 288));
    out.emplace_back(new ktml::BoundingBox<int>(1, 2, 3, 4));
    // A frame that carries a small gray and JPEG picture, and an event with objects.
    auto* frame = new Frame();
    kt_image gray = {};
    kt_init_image(&gray, 8, 6, 1);
    for (uint32_t k = 0; k < gray.size; ++k) gray.data[k] = static_cast<unsigned char>(k * 5);
    frame->setImage("Native Image", gray, 2 | 4);
    frame->getRequestedImages().insert("Native Image");
    frame->setAttribute("frame-origin", "vantorel://localsite/*/*");
    kt_free_image(&gray);
    out.emplace_back(frame);
    auto* event = new Event();
    event->addObject(7, "vantorel://localsite/*/*");
    event->setDescription("seed");
    out.emplace_back(event);
    Activity spy("Spy 0", "", Activity::NewObject, 0, 20);
    out.emplace_back(new EventSpyFactory(&spy));
    for (const auto& kind : fuzz::spySeeds()) out.emplace_back(new EventSpyFactory(kind.get()));
    return out;
}

unsigned indexOf(const ktsl::Serializable& v) {
    for (unsigned i = 0; i < fuzz::types().size(); ++i)
        if (fuzz::types()[i]()->getTypeId() == v.getTypeId()) return i;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const std::string root = argv[1];
    mkdir(root.c_str(), 0755);
    auto folder = [&](const char* name) {
        const std::string d = root + "/" + name;
        mkdir(d.c_str(), 0755);
        return d;
    };
    const std::string binary = folder("binary"), xml = folder("xml"), stream = folder("stream"),
                      texts = folder("texts"), image = folder("image"), settings = folder("settings"),
                      jpeg = folder("jpeg");
    int nb = 0, nx = 0, ns = 0, nt = 0, ni = 0, nz = 0, nj = 0;

    std::vector<std::unique_ptr<ktsl::Serializable>> values = samples();
    for (const fuzz::Factory& f : fuzz::types()) values.push_back(f());
    const std::string file = root + "/.value";
    ktsl::MemIOStream all;
    for (const auto& v : values) {
        const unsigned char i = static_cast<unsigned char>(indexOf(*v));
        put(binary, nb, withPrefix({i, 0}, fuzz::binaryForm(*v)));
        if (v->toFile(file.c_str())) {
            std::ifstream in(file, std::ios::binary);
            put(binary, nb, withPrefix({i, 1}, Bytes(std::istreambuf_iterator<char>(in), {})));
        }
        try {
            const kttl::String x = v->toXML("v");
            put(xml, nx, withPrefix({i}, Bytes(x.begin(), x.end())));
        } catch (const kttl::Exception&) {
        }
        ktsl::MemIOStream one;
        one.write(*v);
        put(stream, ns, Bytes(one.unreadData(), one.unreadData() + one.getUnreadLength()));
        all.write(*v);
    }
    unlink(file.c_str());
    // The factory reads a spy's XML by its root name: one seed per kind under its own type name.
    const unsigned char factory = static_cast<unsigned char>(indexOf(EventSpyFactory()));
    for (const auto& kind : fuzz::spySeeds()) {
        const kttl::String x = kind->toXML();
        put(xml, nx, withPrefix({factory}, Bytes(x.begin(), x.end())));
    }
    put(stream, ns, Bytes(all.unreadData(), all.unreadData() + all.getUnreadLength()));

    for (const char* t : {"\x00" "CIF", "\x00" "320 x 240", "\x01%Y-%m-%d %H:%M:%S.%s %Z\n2024-01-15 10:20:30.007 UTC",
                          "\x01%a %b %d %H:%M:%S.%s %Z %Y\nMon Jan 15 10:20:30.007 GMT 2024",
                          "\x01%I:%M %p %j %y\n10:20 PM 015 24", "\x02" "2024-01-15T10:20:30.007+01:30",
                          "\x02" "2024-01-15T10:20:30Z", "\x03" "2 seconds", "\x03" "1.5\nMinutes",
                          "\x04{\"frame\":3,\"movers\":[{\"id\":0,\"class\":\"person\",\"box\":[1.5,2,30,40]}]}",
                          "\x05" "0123abcd-4567-89ab-cdef-0123456789ab"})
        put(texts, nt, std::string(t, t[0] == 0 ? 1 + std::strlen(t + 1) : std::strlen(t)));

    put(image, ni, "P2\n2 2\n255\n0\n255\n17\n3\n");
    put(image, ni, "P3\n1 2\n255\n1\n2\n3\n250\n251\n252\n");

    for (uint32_t channels : {1u, 4u}) {
        kt_image picture = {};
        kt_init_image(&picture, 16, 8, channels);
        for (uint32_t k = 0; k < picture.size; ++k) picture.data[k] = static_cast<unsigned char>(k * 3);
        ktil::ImageJPEG encoded;
        if (encoded.encode(picture)) {
            for (unsigned char pick : {0, 1, 2}) put(jpeg, nj, withPrefix({pick}, encoded.getData()));
        }
        kt_free_image(&picture);
    }

    const std::string zones =
        "<polygon><point><x>0.0</x><y>0.4</y></point><point><x>1.0</x><y>0.4</y></point>"
        "<point><x>1.0</x><y>1.0</y></point></polygon>";
    put(settings, nz, zones);
    put(settings, nz,
        "<settings><video_resolution>CIF</video_resolution><zone_type>inclusion</zone_type><zones>" + zones +
            "</zones><min_distance>20</min_distance><min_age>2</min_age><min_age_unit>seconds</min_age_unit>"
            "<max_width>60</max_width><max_height>80</max_height><alarm_interval>30</alarm_interval>"
            "<alarm_interval_unit>seconds</alarm_interval_unit><min_width>5</min_width><min_height>11</min_height>"
            "<sensitivity>50</sensitivity><light_sensitivity>50</light_sensitivity></settings>");
    fuzz::svmSeeds(folder("svm"));
    fuzz::netSeeds(folder("net"));
    std::printf("seeds: binary %d, xml %d, stream %d, texts %d, image %d, settings %d\n", nb, nx, ns, nt, ni, nz);
    return 0;
}
