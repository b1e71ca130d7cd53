#include "nearest_name.h"

#include <algorithm>

#include "env/mbstring.h"

int EditDistance(const std::string& a, const std::string& b) {
  std::string x = MbsLower(a);
  std::string y = MbsLower(b);
  const size_t n = x.size();
  const size_t m = y.size();
  // d[i][j]: distance between the first i bytes of x and the first j of y.
  std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
  for (size_t i = 0; i <= n; ++i) d[i][0] = static_cast<int>(i);
  for (size_t j = 0; j <= m; ++j) d[0][j] = static_cast<int>(j);
  for (size_t i = 1; i <= n; ++i) {
    for (size_t j = 1; j <= m; ++j) {
      int cost = x[i - 1] == y[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[n][m];
}

std::string NearestName(const std::string& word, const std::vector<std::string>& names) {
  constexpr int kMaxEdits = 2;
  std::string best;
  int bestDistance = kMaxEdits + 1;
  for (const std::string& name : names) {
    int distance = EditDistance(word, name);
    if (distance < bestDistance && distance < static_cast<int>(word.size())) {
      best = name;
      bestDistance = distance;
    }
  }
  return best;
}
