// SvmModel: one trained two-class support-vector machine with the feature ranges that scale its input.
#include "SvmModel.h"

#include <cmath>

#include "ObjectFeatures.h"
#include "ktsl_BinReader.h"
#include "ktsl_BinWriter.h"
#include "kttl_Exception.h"

namespace {

const char* const kClass = "SvmModel";
constexpr unsigned kNodeBytes = 12;
constexpr unsigned kRangeBytes = 12;
constexpr unsigned kParamBytes = 3 * 4 + 5 * 8;
constexpr unsigned kWeightBytes = 2 * 4 + 2 * 8;
constexpr unsigned kTailParamBytes = 2 * 8 + 4;

[[noreturn]] void refuse() { ktsl::Serializable::fromBinFailed(); }

double checkedFinite(double v) {
    if (!std::isfinite(v)) refuse();
    return v;
}

// Throws unless n items of `size` bytes fit in what is left; computed in 64 bits so no count wraps.
void needItems(const ktsl::BinReader& r, uint64_t n, uint64_t size) {
    if (n * size > r.remaining()) refuse();
}

}  // namespace

SvmModel::SvmModel() { deInitModel(); }

SvmModel::SvmModel(const SvmModel& other)
    : m_valid(other.m_valid),
      m_name(other.m_name),
      m_ranges(other.m_ranges),
      m_param(other.m_param),
      m_weightLabel(other.m_weightLabel),
      m_weight(other.m_weight),
      m_k(other.m_k),
      m_l(other.m_l),
      m_nodes(other.m_nodes),
      m_coef(other.m_coef),
      m_rho(other.m_rho),
      m_probA(other.m_probA),
      m_probB(other.m_probB),
      m_label(other.m_label),
      m_nSV(other.m_nSV),
      m_freeSv(other.m_freeSv) {
    link();
}

SvmModel& SvmModel::operator=(const SvmModel& other) {
    if (this != &other) {
        SvmModel copy(other);
        m_valid = copy.m_valid;
        m_name.swap(copy.m_name);
        m_ranges.swap(copy.m_ranges);
        m_param = copy.m_param;
        m_weightLabel.swap(copy.m_weightLabel);
        m_weight.swap(copy.m_weight);
        m_k = copy.m_k;
        m_l = copy.m_l;
        m_nodes.swap(copy.m_nodes);
        m_coef.swap(copy.m_coef);
        m_rho.swap(copy.m_rho);
        m_probA.swap(copy.m_probA);
        m_probB.swap(copy.m_probB);
        m_label.swap(copy.m_label);
        m_nSV.swap(copy.m_nSV);
        m_freeSv = copy.m_freeSv;
        link();
    }
    return *this;
}

SvmModel::~SvmModel() = default;

void SvmModel::deInitModel() {
    m_valid = false;
    m_ranges.clear();
    m_param = svm_parameter{};
    m_weightLabel.clear();
    m_weight.clear();
    m_k = m_l = 0;
    m_nodes.clear();
    m_sv.clear();
    m_coef.clear();
    m_coefRows.clear();
    m_rho.clear();
    m_probA.clear();
    m_probB.clear();
    m_label.clear();
    m_nSV.clear();
    m_freeSv = 0;
    m_model = svm_model{};
}

void SvmModel::link() {
    const size_t stride = m_ranges.size() + 1;
    m_sv.resize(m_l);
    for (int i = 0; i < m_l; ++i) m_sv[i] = &m_nodes[i * stride];
    m_coefRows.resize(m_k > 1 ? m_k - 1 : 0);
    for (size_t j = 0; j < m_coefRows.size(); ++j) m_coefRows[j] = &m_coef[j * m_l];
    m_param.nr_weight = static_cast<int>(m_weight.size());
    m_param.weight_label = m_weightLabel.empty() ? nullptr : m_weightLabel.data();
    m_param.weight = m_weight.empty() ? nullptr : m_weight.data();
    m_model = svm_model{};
    if (!m_valid) return;
    m_model.param = m_param;
    m_model.nr_class = m_k;
    m_model.l = m_l;
    m_model.SV = m_sv.data();
    m_model.sv_coef = m_coefRows.data();
    m_model.rho = m_rho.data();
    m_model.probA = m_probA.empty() ? nullptr : m_probA.data();
    m_model.probB = m_probB.empty() ? nullptr : m_probB.data();
    m_model.label = m_label.data();
    m_model.nSV = m_nSV.data();
    m_model.free_sv = 0;  // the arrays are ours; libsvm must never free them
}

bool SvmModel::SetModel(const svm_model& t, const std::vector<FeatureRange>& ranges) {
    kttl::String name = m_name;
    deInitModel();
    m_name = name;
    const size_t F = ranges.size();
    const bool usable = t.nr_class == 2 && t.l > 0 && t.SV && t.sv_coef && t.rho && t.probA && t.probB && t.label &&
                        t.nSV && t.param.probability && (t.param.svm_type == C_SVC || t.param.svm_type == NU_SVC);
    if (!usable) return false;
    m_nodes.resize(static_cast<size_t>(t.l) * (F + 1));
    for (int i = 0; i < t.l; ++i) {
        const svm_node* v = t.SV[i];
        for (size_t j = 0; j < F; ++j) {
            if (v[j].index == -1) {
                m_nodes.clear();
                return false;
            }
            m_nodes[i * (F + 1) + j] = v[j];
        }
        if (v[F].index != -1) {
            m_nodes.clear();
            return false;
        }
        m_nodes[i * (F + 1) + F] = svm_node{-1, 0.0};
    }
    m_ranges = ranges;
    m_param = t.param;
    if (t.param.nr_weight > 0 && t.param.weight_label && t.param.weight) {
        m_weightLabel.assign(t.param.weight_label, t.param.weight_label + t.param.nr_weight);
        m_weight.assign(t.param.weight, t.param.weight + t.param.nr_weight);
    }
    m_k = 2;
    m_l = t.l;
    m_coef.assign(t.sv_coef[0], t.sv_coef[0] + t.l);
    m_rho.assign(t.rho, t.rho + 1);
    m_probA.assign(t.probA, t.probA + 1);
    m_probB.assign(t.probB, t.probB + 1);
    m_label.assign(t.label, t.label + 2);
    m_nSV.assign(t.nSV, t.nSV + 2);
    m_freeSv = t.free_sv;
    m_valid = true;
    link();
    return true;
}

kttl::String SvmModel::toXML(const char*) const { KT_THROW(kClass, "toXML() - not implemented"); }

bool SvmModel::fromXML(const char*) { KT_THROW(kClass, "fromXML() - not implemented"); }

unsigned SvmModel::getBinLength() const {
    if (!m_valid) return 1;
    const unsigned pairs = static_cast<unsigned>(m_k * (m_k - 1) / 2);
    unsigned n = 1 + 5 * 4 + m_name.getBinLength() + static_cast<unsigned>(m_ranges.size()) * kRangeBytes;
    n += kParamBytes + (m_weight.empty() ? 0 : kWeightBytes) + kTailParamBytes;
    n += static_cast<unsigned>(m_nodes.size()) * kNodeBytes;
    n += static_cast<unsigned>(m_coef.size()) * 8 + pairs * 8;
    if (m_param.probability) n += 2 * pairs * 8;
    n += static_cast<unsigned>(m_k) * 8 + 4;
    return n;
}

unsigned SvmModel::toBin(unsigned char* out) const {
    ktsl::BinWriter w(out);
    w.u8(m_valid ? 1 : 0);
    if (!m_valid) return w.written();
    w.i32(static_cast<int32_t>(m_ranges.size()));
    w.i32(static_cast<int32_t>(m_weight.size()));
    w.i32(m_param.probability);
    w.i32(m_k);
    w.i32(m_l);
    w.value(m_name);
    for (const FeatureRange& r : m_ranges) {
        w.i32(r.id);
        w.i32(r.min);
        w.i32(r.max);
    }
    w.i32(m_param.svm_type);
    w.i32(m_param.kernel_type);
    w.i32(m_param.degree);
    for (double v : {m_param.gamma, m_param.coef0, m_param.cache_size, m_param.eps, m_param.C}) w.f64(v);
    if (!m_weight.empty()) {
        for (int v : m_weightLabel) w.i32(v);
        for (double v : m_weight) w.f64(v);
    }
    w.f64(m_param.nu);
    w.f64(m_param.p);
    w.i32(m_param.shrinking);
    for (const svm_node& n : m_nodes) {
        w.i32(n.index);
        w.f64(n.value);
    }
    for (double v : m_coef) w.f64(v);
    for (double v : m_rho) w.f64(v);
    if (m_param.probability) {
        for (double v : m_probA) w.f64(v);
        for (double v : m_probB) w.f64(v);
    }
    for (int v : m_label) w.i32(v);
    for (int v : m_nSV) w.i32(v);
    w.i32(m_freeSv);
    return w.written();
}

unsigned SvmModel::fromBin(const unsigned char* in, unsigned length) {
    ktsl::BinReader r(in, length);
    SvmModel m;
    if (r.u8() == 0) {
        *this = m;
        return r.consumed();
    }
    const int32_t F = r.i32(), nrWeight = r.i32(), probability = r.i32(), k = r.i32(), l = r.i32();
    if (F < 0 || (nrWeight != 0 && nrWeight != 2) || probability != 1 || k != 2 || l < 1) refuse();
    r.value(m.m_name);
    needItems(r, static_cast<uint64_t>(F), kRangeBytes);
    m.m_ranges.resize(F);
    for (FeatureRange& range : m.m_ranges) {
        range.id = r.i32();
        range.min = r.i32();
        range.max = r.i32();
        if (range.id < 1 || range.id > ObjectFeatures::kNumFeatures) refuse();
    }
    svm_parameter& p = m.m_param;
    p.svm_type = r.i32();
    p.kernel_type = r.i32();
    p.degree = r.i32();
    p.gamma = checkedFinite(r.f64());
    p.coef0 = checkedFinite(r.f64());
    p.cache_size = checkedFinite(r.f64());
    p.eps = checkedFinite(r.f64());
    p.C = checkedFinite(r.f64());
    if (nrWeight) {
        m.m_weightLabel = {r.i32(), r.i32()};
        m.m_weight = {checkedFinite(r.f64()), checkedFinite(r.f64())};
    }
    p.nu = checkedFinite(r.f64());
    p.p = checkedFinite(r.f64());
    p.shrinking = r.i32();
    p.probability = probability;
    // Prediction walks vectors through the kernel: only classifiers with a real kernel are safe.
    if ((p.svm_type != C_SVC && p.svm_type != NU_SVC) || p.kernel_type < LINEAR || p.kernel_type > SIGMOID) refuse();
    svm_problem empty{};
    m.m_param.nr_weight = nrWeight;
    m.m_param.weight_label = m.m_weightLabel.empty() ? nullptr : m.m_weightLabel.data();
    m.m_param.weight = m.m_weight.empty() ? nullptr : m.m_weight.data();
    if (svm_check_parameter(&empty, &m.m_param) != nullptr) refuse();

    const uint64_t stride = static_cast<uint64_t>(F) + 1;
    needItems(r, static_cast<uint64_t>(l) * stride, kNodeBytes);
    m.m_nodes.resize(static_cast<size_t>(l) * stride);
    for (int32_t i = 0; i < l; ++i) {
        for (uint64_t j = 0; j < stride; ++j) {
            svm_node& n = m.m_nodes[i * stride + j];
            n.index = r.i32();
            n.value = checkedFinite(r.f64());
            // Only the last node may end the vector, and it must.
            if ((j + 1 == stride) != (n.index == -1)) refuse();
        }
    }
    const uint64_t pairs = static_cast<uint64_t>(k) * (k - 1) / 2;
    needItems(r, static_cast<uint64_t>(k - 1) * l + 3 * pairs, 8);
    m.m_coef.resize(static_cast<size_t>(k - 1) * l);
    for (double& v : m.m_coef) v = checkedFinite(r.f64());
    for (auto* a : {&m.m_rho, &m.m_probA, &m.m_probB}) {
        a->resize(pairs);
        for (double& v : *a) v = checkedFinite(r.f64());
    }
    needItems(r, static_cast<uint64_t>(k), 8);
    m.m_label.resize(k);
    for (int& v : m.m_label) v = r.i32();
    m.m_nSV.resize(k);
    int64_t total = 0;
    for (int& v : m.m_nSV) {
        v = r.i32();
        if (v < 0) refuse();
        total += v;
    }
    if (total != l) refuse();
    if (!((m.m_label[0] == 1 && m.m_label[1] == -1) || (m.m_label[0] == -1 && m.m_label[1] == 1))) refuse();
    m.m_freeSv = r.i32();
    m.m_k = k;
    m.m_l = l;
    m.m_valid = true;
    m.link();
    *this = m;
    return r.consumed();
}
