#pragma once
// The chart editor's tree: the chart, its titles, its legend, each axis shown
// and each series, in drawing order. Selecting a node shows its page.
#include <string>
#include <vector>

enum class EditorNodeKind { Chart, Titles, Legend, Axis, SeriesGroup, Series };

struct EditorNode {
  EditorNodeKind kind = EditorNodeKind::Chart;
  int parent = -1;  // index of the parent node; -1 for the chart
  std::string label;
  int axis = -1;         // for Axis nodes: the side, as the chart numbers it
  int series = -1;       // for Series nodes: the series index
  bool program = false;  // a series the program feeds
  bool operator==(const EditorNode&) const = default;
};

// What the tree is made from.
struct ChartOutline {
  struct Axis {
    int side = 0;
    std::string name;  // "Left axis" ...
  };
  struct Series {
    std::string title;
    bool program = true;
  };
  std::vector<Axis> axes;  // the axes shown, in the order to list them
  std::vector<Series> series;
};

std::vector<EditorNode> EditorTree(const ChartOutline& outline);
