// SvmProblem: the labelled training vectors of one sub-classifier, in the form libsvm trains on.
#include "SvmProblem.h"

#include <algorithm>

void SvmProblem::add(const std::vector<svm_node>& nodes, double label) {
    m_starts.push_back(m_nodes.size());
    m_nodes.insert(m_nodes.end(), nodes.begin(), nodes.end());
    m_labels.push_back(label);
}

void SvmProblem::clear() {
    m_nodes.clear();
    m_starts.clear();
    m_labels.clear();
    m_rows.clear();
    m_problem = svm_problem{};
}

int SvmProblem::getNumPositives() const {
    return static_cast<int>(std::count_if(m_labels.begin(), m_labels.end(), [](double v) { return v > 0; }));
}

int SvmProblem::getNumNegatives() const { return size() - getNumPositives(); }

const svm_problem& SvmProblem::problem() {
    m_rows.resize(m_starts.size());
    for (size_t i = 0; i < m_starts.size(); ++i) m_rows[i] = &m_nodes[m_starts[i]];
    m_problem.l = size();
    m_problem.y = m_labels.data();
    m_problem.x = m_rows.data();
    return m_problem;
}
