// SvmModel: one trained two-class support-vector machine with the feature ranges that scale its input.
#pragma once

#include <cstdint>
#include <vector>

#include <libsvm/svm.h>

#include "ktsl_Serializable.h"
#include "kttl_String.h"

// The feature id and the minimum and maximum it took over the training vectors.
struct FeatureRange {
    int32_t id = 0;
    int32_t min = 0;
    int32_t max = 0;
    bool operator==(const FeatureRange& o) const { return id == o.id && min == o.min && max == o.max; }
};

// Holds every array of the libsvm model itself (support vectors, coefficients, rho, probability
// pairs, labels, counts), so a copy is independent and a model read from untrusted bytes never
// shares libsvm's allocator. get() gives a libsvm view valid until the model changes.
//
// Binary form (little-endian): valid byte; then, only when valid, F, nr_weight, probability, k, l,
// name, F ranges, the parameters, l support vectors of F + 1 nodes, sv_coef, rho, probA/probB when
// probability is set, label, nSV, free_sv. An empty model is the single byte 0.
//
// fromBin() refuses (throws the fromBin failure, model unchanged) anything prediction could not use
// safely: counts beyond the remaining bytes, nr_weight other than 0 or 2, k other than 2 with labels
// 1 and -1, nSV that are negative or do not sum to l, no support vector, vectors whose last node is
// not -1, non-finite numbers, range ids outside 1..61, parameters svm_check_parameter rejects, a
// precomputed kernel, a machine that is not a classifier, and a model without probability estimates.
class SvmModel : public ktsl::Serializable {
  public:
    SvmModel();
    SvmModel(const SvmModel& other);
    SvmModel& operator=(const SvmModel& other);
    ~SvmModel() override;

    // Copies a trained libsvm model and the ranges its vectors were scaled with. False (model
    // cleared) when the model is not a two-class probability classifier whose vectors hold one node
    // per range.
    bool SetModel(const svm_model& trained, const std::vector<FeatureRange>& ranges);
    // Back to an empty, invalid model.
    void deInitModel();
    bool isValid() const { return m_valid; }
    // The libsvm view of the model, null when it is not valid.
    const svm_model* get() const { return m_valid ? &m_model : nullptr; }
    const std::vector<FeatureRange>& getRanges() const { return m_ranges; }
    const kttl::String& getName() const { return m_name; }
    void setName(const kttl::String& name) { m_name = name; }
    int getNumSupportVectors() const { return m_valid ? m_l : 0; }

    using ktsl::Serializable::toXML;
    unsigned short getTypeId() const override { return ktsl::TypeId::SvmModel; }
    kttl::String getTypeName() const override { return "SvmModel"; }
    // No XML form of its own: ClassificationModel carries it as base64. Both throw.
    kttl::String toXML(const char* tag) const override;
    bool fromXML(const char* xml) override;
    unsigned getBinLength() const override;
    unsigned toBin(unsigned char* out) const override;
    unsigned fromBin(const unsigned char* in, unsigned length) override;

  private:
    // Points the libsvm view at this object's arrays.
    void link();

    bool m_valid = false;
    kttl::String m_name;
    std::vector<FeatureRange> m_ranges;
    svm_parameter m_param{};
    std::vector<int> m_weightLabel;
    std::vector<double> m_weight;
    int m_k = 0;
    int m_l = 0;
    std::vector<svm_node> m_nodes;  // l x (F + 1)
    std::vector<svm_node*> m_sv;
    std::vector<double> m_coef;  // (k - 1) x l
    std::vector<double*> m_coefRows;
    std::vector<double> m_rho, m_probA, m_probB;
    std::vector<int> m_label, m_nSV;
    int32_t m_freeSv = 0;
    svm_model m_model{};
};
