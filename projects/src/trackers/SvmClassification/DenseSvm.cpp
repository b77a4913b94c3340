// DenseSvm: a two-class probability SVM laid out densely so prediction allocates nothing.
#include "DenseSvm.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this exponent exp() is +0.0 (e^-800 is far under half the smallest subnormal), so the result
// is known without the library's slow underflow path, which far-off queries hit on most vectors.
constexpr double kExpUnderflow = -800.0;

// libsvm's clamp of the pairwise probability, kept away from 0 and 1.
constexpr double kMinProb = 1e-7;

// libsvm's own min and max: on a NaN they pick the second argument, unlike std::min/std::max.
double svmMin(double x, double y) { return (x < y) ? x : y; }
double svmMax(double x, double y) { return (x > y) ? x : y; }

// Integer power by squaring, multiplied in libsvm's order.
double powi(double base, int times) {
    double tmp = base, ret = 1.0;
    for (int t = times; t > 0; t /= 2) {
        if (t % 2 == 1) ret *= tmp;
        tmp = tmp * tmp;
    }
    return ret;
}

// Platt's sigmoid, in the form that avoids cancellation on either side of 0.
double sigmoidPredict(double decision, double A, double B) {
    const double fApB = decision * A + B;
    if (fApB >= 0) return std::exp(-fApB) / (1.0 + std::exp(-fApB));
    return 1.0 / (1 + std::exp(fApB));
}

}  // namespace

void DenseSvm::clear() {
    m_ready = false;
    m_l = m_columns = 0;
    m_sv.clear();
    m_coef.clear();
    m_queryColumn.clear();
    m_query.clear();
    m_kernelValue.clear();
}

bool DenseSvm::build(const svm_model& model, const std::vector<int>& queryIds) {
    clear();
    const svm_parameter& p = model.param;
    if (model.nr_class != 2 || (p.svm_type != C_SVC && p.svm_type != NU_SVC) || !model.probA || !model.probB ||
        !model.rho || !model.label || !model.nSV || model.l < 0 || (model.l > 0 && (!model.SV || !model.sv_coef)))
        return false;
    if (p.kernel_type != LINEAR && p.kernel_type != POLY && p.kernel_type != RBF && p.kernel_type != SIGMOID)
        return false;
    if (model.nSV[0] < 0 || model.nSV[1] < 0 || static_cast<long>(model.nSV[0]) + model.nSV[1] != model.l)
        return false;

    // Columns: every index the query or a vector carries, ascending, as libsvm's merge visits them.
    std::vector<int> columns;
    for (size_t i = 0; i < queryIds.size(); ++i) {
        if (queryIds[i] == -1 || (i > 0 && queryIds[i] <= queryIds[i - 1])) return false;
        columns.push_back(queryIds[i]);
    }
    for (int i = 0; i < model.l; ++i) {
        int previous = 0;
        for (const svm_node* n = model.SV[i]; n->index != -1; ++n) {
            if (n != model.SV[i] && n->index <= previous) return false;
            previous = n->index;
            if (!std::binary_search(columns.begin(), columns.end(), n->index)) {
                if (static_cast<int>(columns.size()) >= kMaxColumns) return false;
                columns.insert(std::upper_bound(columns.begin(), columns.end(), n->index), n->index);
            }
        }
    }
    if (static_cast<int>(columns.size()) > kMaxColumns) return false;

    m_l = model.l;
    m_columns = static_cast<int>(columns.size());
    const auto column = [&columns](int index) {
        return static_cast<size_t>(std::lower_bound(columns.begin(), columns.end(), index) - columns.begin());
    };
    m_sv.assign(static_cast<size_t>(m_columns) * m_l, 0.0);
    for (int i = 0; i < m_l; ++i)
        for (const svm_node* n = model.SV[i]; n->index != -1; ++n) m_sv[column(n->index) * m_l + i] = n->value;
    m_coef.assign(model.l > 0 ? model.sv_coef[0] : nullptr, model.l > 0 ? model.sv_coef[0] + m_l : nullptr);
    for (int id : queryIds) m_queryColumn.push_back(static_cast<int>(column(id)));
    m_query.assign(m_columns, 0.0);
    m_kernelValue.assign(m_l, 0.0);
    m_kernel = p.kernel_type;
    m_degree = p.degree;
    m_gamma = p.gamma;
    m_coef0 = p.coef0;
    m_rho = model.rho[0];
    m_probA = model.probA[0];
    m_probB = model.probB[0];
    m_label[0] = model.label[0];
    m_label[1] = model.label[1];
    m_ready = true;
    return true;
}

double DenseSvm::predict(const svm_node* query, double& decision, double prob[2]) {
    for (size_t q = 0; q < m_queryColumn.size(); ++q) m_query[m_queryColumn[q]] = query[q].value;

    // Column by column over all vectors at once: each vector's sum still grows in index order.
    double* k = m_kernelValue.data();
    std::fill(k, k + m_l, 0.0);
    const bool squaredDistance = m_kernel == RBF;
    for (int c = 0; c < m_columns; ++c) {
        const double x = m_query[c];
        const double* row = m_sv.data() + static_cast<size_t>(c) * m_l;
        if (squaredDistance) {
            for (int i = 0; i < m_l; ++i) {
                const double d = x - row[i];
                k[i] += d * d;
            }
        } else {
            for (int i = 0; i < m_l; ++i) k[i] += x * row[i];
        }
    }
    switch (m_kernel) {
        case RBF:
            for (int i = 0; i < m_l; ++i) {
                const double e = -m_gamma * k[i];
                k[i] = e < kExpUnderflow ? 0.0 : std::exp(e);
            }
            break;
        case POLY:
            for (int i = 0; i < m_l; ++i) k[i] = powi(m_gamma * k[i] + m_coef0, m_degree);
            break;
        case SIGMOID:
            for (int i = 0; i < m_l; ++i) k[i] = std::tanh(m_gamma * k[i] + m_coef0);
            break;
        default:  // linear: the dot product itself
            break;
    }
    double sum = 0;
    for (int i = 0; i < m_l; ++i) sum += m_coef[i] * k[i];
    sum -= m_rho;
    decision = sum;

    prob[0] = svmMin(svmMax(sigmoidPredict(decision, m_probA, m_probB), kMinProb), 1 - kMinProb);
    prob[1] = 1 - prob[0];
    return m_label[prob[1] > prob[0] ? 1 : 0];
}
