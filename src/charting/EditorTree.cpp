#include "charting/EditorTree.h"

std::vector<EditorNode> EditorTree(const ChartOutline& outline) {
  std::vector<EditorNode> tree;
  tree.push_back({EditorNodeKind::Chart, -1, "Chart"});
  tree.push_back({EditorNodeKind::Titles, 0, "Titles"});
  tree.push_back({EditorNodeKind::Legend, 0, "Legend"});
  for (const ChartOutline::Axis& axis : outline.axes) tree.push_back({EditorNodeKind::Axis, 0, axis.name, axis.side});
  const int group = static_cast<int>(tree.size());
  tree.push_back({EditorNodeKind::SeriesGroup, 0, "Series"});
  for (std::size_t i = 0; i < outline.series.size(); ++i) {
    const ChartOutline::Series& s = outline.series[i];
    // An untitled series (the bars of a bar chart) still needs a name to pick it by.
    std::string label = s.title.empty() ? "Series " + std::to_string(i + 1) : s.title;
    tree.push_back({EditorNodeKind::Series, group, std::move(label), -1, static_cast<int>(i), s.program});
  }
  return tree;
}
