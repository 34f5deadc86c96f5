// Writes SVG elements for the chart: attributes as name and value, numbers in
// one format everywhere (at most one decimal), text escaped.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>

namespace drive::svg {

std::string Num(double value);
std::string Escape(std::string_view text);
// Text cut to what a line of the chart can show, so that no title, label or
// name makes the chart large.
std::string Clip(std::string_view text);

struct Attr {
  Attr(std::string_view name, double value) : Name(name), Value(Num(value)) {}
  Attr(std::string_view name, std::string_view value) : Name(name), Value(value) {}
  std::string_view Name;
  std::string Value;
};
// An attribute with an empty value is left out, so a list can hold optional ones.
using Attrs = std::initializer_list<Attr>;

void Open(std::ostream& out, std::string_view tag, Attrs attrs = {});
void Close(std::ostream& out, std::string_view tag);
// An element with nothing inside, e.g. a path.
void Element(std::ostream& out, std::string_view tag, Attrs attrs);
void Line(std::ostream& out, double x1, double y1, double x2, double y2, Attrs attrs = {});
void Rect(std::ostream& out, double x, double y, double width, double height, Attrs attrs);
// The text goes in as Clip leaves it.
void Text(std::ostream& out, double x, double y, std::string_view text, double size,
          std::string_view fill, Attrs more = {});
// The attribute that turns text to read upwards about its own anchor.
Attr Upwards(double x, double y);

}  // namespace drive::svg
