// DenseSvm: a two-class probability SVM laid out densely so prediction allocates nothing.
#pragma once

#include <vector>

#include <libsvm/svm.h>

// A copy of a libsvm model's support vectors as a zero-filled column-by-vector table, its
// coefficients, rho and sigmoid pair. Prediction computes in double exactly the operations libsvm's
// svm_predict_probability does, in the same order: both walk the indices in ascending order, and
// where one side lacks an index the dense form adds a +0.0 term (or squares x - 0.0), which leaves
// every partial sum unchanged. Label, decision value and probabilities are therefore bit-identical,
// while libsvm's per-call allocations and sparse walks are gone.
class DenseSvm {
  public:
    // Most distinct indices a model may span before the dense table is not worth building (features
    // are addressed 1..61).
    static constexpr int kMaxColumns = 64;

    // Copies `model` for queries whose nodes carry `queryIds`, in this order, followed by the -1
    // terminator. False (and not ready) when the result could differ from libsvm's or the layout is
    // unusual: not a two-class C-SVC/nu-SVC with probability pairs, nSV not summing to l, a
    // precomputed or unknown kernel, query ids or a vector's indices not strictly ascending, or more
    // than kMaxColumns distinct indices. The model is not referenced after the call.
    bool build(const svm_model& model, const std::vector<int>& queryIds);
    void clear();
    bool ready() const { return m_ready; }

    // Predicts on `query`, whose first nodes carry the ids given to build() in that order (their
    // indices are not read again). Writes the decision value and the two probabilities in the
    // model's label order and returns the predicted label, all as svm_predict_probability and
    // svm_predict_values would. Only valid when ready().
    double predict(const svm_node* query, double& decision, double prob[2]);

  private:
    bool m_ready = false;
    int m_kernel = RBF;
    int m_degree = 0;
    double m_gamma = 0.0, m_coef0 = 0.0;
    double m_rho = 0.0, m_probA = 0.0, m_probB = 0.0;
    int m_label[2] = {0, 0};
    int m_l = 0;
    int m_columns = 0;
    std::vector<double> m_sv;           // columns x l: column c of every vector, vector-minor
    std::vector<double> m_coef;         // l
    std::vector<int> m_queryColumn;     // query node -> column
    std::vector<double> m_query;        // columns, zero where the query has no node
    std::vector<double> m_kernelValue;  // l, the per-vector kernel of the current query
};
