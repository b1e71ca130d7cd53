#include "app/progress_model.h"

void ProgressModel::Apply(int position, int range) {
  if (range > 0) m_nRange = range;
  if (position == 0) m_bVisible = true;
  m_nPosition = position;
}

double ProgressModel::Fraction() const {
  if (m_nRange <= 0 || m_nPosition <= 0) return 0.0;
  if (m_nPosition >= m_nRange) return 1.0;
  return static_cast<double>(m_nPosition) / m_nRange;
}
