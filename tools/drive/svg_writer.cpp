#include "svg_writer.h"

#include <fmt/format.h>

namespace drive::svg {

std::string Num(double value) {
  std::string text = fmt::format("{:.1f}", value);
  if (text.ends_with(".0")) {
    text.resize(text.size() - 2);
  }
  return text == "-0" ? "0" : text;
}

std::string Escape(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    const char* entity = c == '&'   ? "&amp;"
                         : c == '<' ? "&lt;"
                         : c == '>' ? "&gt;"
                         : c == '"' ? "&quot;"
                                    : nullptr;
    escaped += entity != nullptr ? std::string_view(entity) : std::string_view(&c, 1);
  }
  return escaped;
}

namespace {

void Start(std::ostream& out, std::string_view tag, Attrs place, Attrs attrs = {}) {
  out << '<' << tag;
  for (Attrs list : {place, attrs}) {
    for (const Attr& attr : list) {
      if (attr.Value.empty()) {
        continue;
      }
      out << ' ' << attr.Name << "=\"" << Escape(attr.Value) << '"';
    }
  }
}

}  // namespace

void Open(std::ostream& out, std::string_view tag, Attrs attrs) {
  Start(out, tag, attrs);
  out << ">\n";
}

void Close(std::ostream& out, std::string_view tag) { out << "</" << tag << ">\n"; }

void Element(std::ostream& out, std::string_view tag, Attrs attrs) {
  Start(out, tag, attrs);
  out << "/>\n";
}

void Line(std::ostream& out, double x1, double y1, double x2, double y2, Attrs attrs) {
  Start(out, "line", {{"x1", x1}, {"y1", y1}, {"x2", x2}, {"y2", y2}}, attrs);
  out << "/>\n";
}

void Rect(std::ostream& out, double x, double y, double width, double height, Attrs attrs) {
  Start(out, "rect", {{"x", x}, {"y", y}, {"width", width}, {"height", height}}, attrs);
  out << "/>\n";
}

std::string Clip(std::string_view text) {
  constexpr size_t MostBytes = 160;
  if (text.size() <= MostBytes) {
    return std::string(text);
  }
  size_t cut = MostBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0U) == 0x80U) {
    --cut;  // not inside a UTF-8 character
  }
  return std::string(text.substr(0, cut)) + "\u2026";
}

void Text(std::ostream& out, double x, double y, std::string_view text, double size,
          std::string_view fill, Attrs more) {
  Start(out, "text", {{"x", x}, {"y", y}, {"font-size", size}, {"fill", fill}}, more);
  out << '>' << Escape(Clip(text)) << "</text>\n";
}

Attr Upwards(double x, double y) {
  return {"transform", fmt::format("rotate(-90 {} {})", Num(x), Num(y))};
}

}  // namespace drive::svg
