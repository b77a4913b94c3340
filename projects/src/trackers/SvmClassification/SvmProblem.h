// SvmProblem: the labelled training vectors of one sub-classifier, in the form libsvm trains on.
#pragma once

#include <cstddef>
#include <vector>

#include <libsvm/svm.h>

// Vectors of equal node count (features plus the -1 terminator) stored back to back, labels +1 for
// the sub-classifier's own class and -1 for every other class. problem() is a libsvm view valid until
// the next add() or clear().
class SvmProblem {
  public:
    // `nodes` must end with a node of index -1.
    void add(const std::vector<svm_node>& nodes, double label);
    void clear();
    int size() const { return static_cast<int>(m_labels.size()); }
    bool empty() const { return m_labels.empty(); }
    int getNumPositives() const;
    int getNumNegatives() const;
    const svm_problem& problem();
    const std::vector<double>& labels() const { return m_labels; }

  private:
    std::vector<svm_node> m_nodes;
    std::vector<size_t> m_starts;
    std::vector<double> m_labels;
    std::vector<svm_node*> m_rows;
    svm_problem m_problem{};
};
