// SPDX-License-Identifier: MIT
#include "driver/preview.h"

#include <algorithm>
#include <vector>

#include "common/unicode.h"
#include "resources/dialog_fit.h"
#include "resources/resource_labels.h"
#include "resources/text_width.h"

namespace uitrans {

namespace {

constexpr uint32_t kVisible = 0x10000000;  // WS_VISIBLE

constexpr char kStyle[] =
    "body{font-family:sans-serif;background:#f4f4f4;color:#222}"
    ".pair{display:flex;gap:24px;align-items:flex-start;flex-wrap:wrap}"
    ".frame{border:1px solid #444;background:#ececec;display:inline-block}"
    ".caption{background:#3a6ea5;color:#fff;padding:2px 4px;font-size:12px;"
    "white-space:nowrap;overflow:hidden}"
    ".client{position:relative;overflow:hidden}"
    ".c{position:absolute;box-sizing:border-box;overflow:hidden;"
    "white-space:nowrap;line-height:normal}"
    ".push{border:1px solid #666;background:#e1e1e1;display:flex;"
    "align-items:center;justify-content:center}"
    ".check::before{content:'\\2610\\00a0'}.radio::before{content:'\\25cb"
    "\\00a0'}"
    ".group{border:1px solid #999;border-radius:2px;overflow:visible}"
    ".group>span{position:absolute;top:-0.7em;left:6px;background:#ececec;"
    "padding:0 2px}"
    ".edit,.list,.combo{border:1px solid #7a7a7a;background:#fff}"
    ".combo::after{content:'\\25be';position:absolute;right:2px;top:0}"
    ".icon{border:1px dashed #888;background:#ddd}"
    ".scroll{background:#d4d4d4;border:1px solid #aaa}"
    ".other{border:1px dotted #888;color:#666}"
    ".wrap{white-space:pre-wrap}.centre{text-align:center}"
    ".right{text-align:right}"
    ".finding{outline:2px solid #d00;outline-offset:0}"
    ".widened{box-shadow:0 0 0 2px #07c}"
    ".menu{display:flex;gap:0;border:1px solid #444;background:#fff;"
    "align-items:flex-start}"
    ".menu>div{padding:2px 8px;border-right:1px solid #ddd}"
    ".bar{font-weight:bold}"
    "h2{font-size:16px;margin-top:28px}h3{font-size:13px;margin:6px 0}";

std::string utf8_html(const std::u16string& text) {
  return html_escape(utf8_of(text));
}

// A title as drawn: a single `&` underlines the next character, `&&` is
// one `&`; with `no_prefix` every `&` is drawn.
std::string label_html(const std::u16string& text, bool no_prefix) {
  std::string out;
  std::u16string run;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'&' || no_prefix || i + 1 == text.size()) {
      if (text[i] != u'&' || no_prefix) run.push_back(text[i]);
      continue;
    }
    char16_t next = text[++i];
    if (next == u'&') {
      run.push_back(u'&');
      continue;
    }
    out += utf8_html(run);
    run.clear();
    out += "<u>" + utf8_html(std::u16string(1, next)) + "</u>";
  }
  return out + utf8_html(run);
}

std::string px(int value) { return std::to_string(value) + "px"; }

// The CSS font of a dialog: its typeface first, then faces with its
// metrics.
std::string font_css(const DialogFont& font, const DialogMetrics& metrics) {
  std::string face = font.system_font ? "System" : utf8_of(font.typeface);
  face.erase(std::remove_if(face.begin(), face.end(),
                            [](char c) { return c == '\'' || c == '\\'; }),
             face.end());
  std::string css =
      "font-family:'" + html_escape(face) +
      "',Tahoma,'Liberation Sans',sans-serif;font-size:" + px(metrics.em_px) +
      ";";
  if (font.system_font || font.weight >= 600) css += "font-weight:bold;";
  if (font.italic) css += "font-style:italic;";
  return css;
}

// The CSS class a control is drawn with.
std::string class_of(const DialogControl& control) {
  switch (control_kind(control)) {
    case ControlKind::push_button:
      return "push";
    case ControlKind::check_box:
      return "check";
    case ControlKind::radio_button:
      return "radio";
    case ControlKind::group_box:
      return "group";
    case ControlKind::static_text:
      switch (control_alignment(control)) {
        case Alignment::centre:
          return "wrap centre";
        case Alignment::right:
          return "wrap right";
        default:
          return (control.geometry.style & kStaticTypeMask) >= 0x0B ? ""
                                                                    : "wrap";
      }
    case ControlKind::other:
      break;
  }
  switch (control.class_ordinal) {
    case kEditClass:
      return "edit";
    case kListBoxClass:
      return "list";
    case kComboBoxClass:
      return "combo";
    case kScrollBarClass:
      return "scroll";
    case kStaticClass:
      return "icon";
    default:
      return "other";
  }
}

// What a control shows inside its drawing.
std::string content_of(const DialogControl& control, bool after) {
  const std::u16string& text = after ? control.after : control.before;
  ControlKind kind = control_kind(control);
  if (kind == ControlKind::other) {
    if (control.class_ordinal == kEditClass && control.has_text) {
      return utf8_html(text);
    }
    if (control.class_ordinal == 0) return utf8_html(control.class_name);
    return {};
  }
  std::string label = label_html(text, draws_ampersands(control));
  if (kind == ControlKind::group_box) return "<span>" + label + "</span>";
  return label;
}

struct Marks {
  std::vector<bool> finding;  // per control
};

std::string control_html(const DialogControl& control, const DialogGeometry& g,
                         const DialogMetrics& metrics, bool after,
                         bool marked) {
  std::string classes = "c " + class_of(control);
  if (marked) classes += " finding";
  if (after && control.geometry.cx != control.source.cx) classes += " widened";
  int height = px_of_du_y(metrics, g.cy);
  // A combo box's height includes its drop-down list; one line shows.
  if (control.class_ordinal == kComboBoxClass) {
    height = std::min(height, closed_combo_px(metrics));
  }
  std::string html = "<div class=\"" + classes +
                     "\" style=\"left:" + px(px_of_du_x(metrics, g.x)) +
                     ";top:" + px(px_of_du_y(metrics, g.y)) +
                     ";width:" + px(px_of_du_x(metrics, g.cx)) +
                     ";height:" + px(height) + "\" title=\"" +
                     html_escape(control.place_name) + "\">";
  return html + content_of(control, after) + "</div>";
}

std::string dialog_html(const DialogLayout& layout, bool after,
                        const Marks& marks) {
  DialogMetrics metrics = dialog_metrics(layout.font);
  std::string html = "<div><h3>" + std::string(after ? "after" : "before") +
                     "</h3><div class=\"frame\" style=\"" +
                     font_css(layout.font, metrics) + "\">";
  int width = px_of_du_x(metrics, layout.geometry.cx);
  html += "<div class=\"caption\" style=\"width:" + px(width - 8) + "\">" +
          utf8_html(after ? layout.title_after : layout.title_before) +
          "</div>";
  html += "<div class=\"client\" style=\"width:" + px(width) +
          ";height:" + px(px_of_du_y(metrics, layout.geometry.cy)) + "\">";
  for (size_t i = 0; i < layout.controls.size(); ++i) {
    const DialogControl& control = layout.controls[i];
    if ((control.geometry.style & kVisible) == 0) continue;
    bool marked = after && marks.finding[i];
    html += control_html(control, after ? control.geometry : control.source,
                         metrics, after, marked);
  }
  return html + "</div></div></div>";
}

std::string findings_html(const DialogLayout& layout,
                          const std::vector<FitFinding>& findings) {
  std::string html = "<ul class=\"findings\">";
  for (const DialogControl& control : layout.controls) {
    if (control.geometry.cx == control.source.cx) continue;
    html += "<li class=\"widened-item\">widened: " +
            html_escape(control.place_name) + " from " +
            std::to_string(control.source.cx) + " DU to " +
            std::to_string(control.geometry.cx) + " DU</li>";
  }
  for (const FitFinding& finding : findings) {
    html += "<li class=\"finding-item\">" + html_escape(finding.check) + ": " +
            html_escape(finding.place_name) + ": " +
            html_escape(finding.message) + "</li>";
  }
  return html + "</ul>";
}

// "DIALOG 101, language 1033" of a path.
std::string resource_name(ByteSpan image, const ImageInfo& info,
                          const uint32_t* path) {
  return resource_label(image, info.resource_raw_pointer, path[0], 1) + " " +
         resource_label(image, info.resource_raw_pointer, path[1], 2) +
         ", language " +
         resource_label(image, info.resource_raw_pointer, path[2], 3);
}

void add_section(PreviewPage* page, const std::string& title,
                 const std::string& drawing) {
  page->resources += 1;
  std::string anchor = "r" + std::to_string(page->resources);
  page->contents +=
      "<li><a href=\"#" + anchor + "\">" + html_escape(title) + "</a></li>";
  page->body += "<section class=\"resource\" id=\"" + anchor + "\"><h2>" +
                html_escape(title) + "</h2>" + drawing + "</section>";
}

void add_dialog(PreviewPage* page, const std::string& title,
                const DialogLayout& layout) {
  std::vector<FitFinding> findings = fit_findings(layout);
  Marks marks;
  marks.finding.assign(layout.controls.size(), false);
  for (const FitFinding& finding : findings)
    marks.finding[finding.control] = true;
  std::string drawing = "<div class=\"pair dialog\">" +
                        dialog_html(layout, false, marks) +
                        dialog_html(layout, true, marks) + "</div>" +
                        findings_html(layout, findings);
  add_section(page, title, drawing);
}

// A menu as its bar, each pop-up's items beneath its bar item, indented by
// level.
std::string menu_html(const std::vector<const TextRecord*>& items, bool after) {
  std::string html = "<div><h3>" + std::string(after ? "after" : "before") +
                     "</h3><div class=\"menu\">";
  bool open = false;
  for (const TextRecord* item : items) {
    const std::u16string& text =
        after && item->replaced ? item->after : item->before;
    std::u16string shown = text.substr(0, text.find(u'\t'));
    std::u16string keys = text.find(u'\t') == std::u16string::npos
                              ? u""
                              : text.substr(text.find(u'\t') + 1);
    if (item->menu_level == 0) {
      if (open) html += "</div>";
      html += "<div><div class=\"bar\">" + label_html(shown, false) + "</div>";
      open = true;
      continue;
    }
    if (!open) {
      html += "<div>";
      open = true;
    }
    html += "<div class=\"item\" style=\"padding-left:" +
            px(12 * static_cast<int>(std::min<uint32_t>(item->menu_level, 8))) +
            "\">" + label_html(shown, false);
    if (!keys.empty()) html += "&emsp;<i>" + utf8_html(keys) + "</i>";
    html += "</div>";
  }
  if (open) html += "</div>";
  return html + "</div></div>";
}

bool same_path(const uint32_t* a, const uint32_t* b) {
  return std::equal(a, a + kPathLevels, b);
}

void add_menus(PreviewPage* page, ByteSpan image, const ImageInfo& info,
               const std::string& executable, const RewriteLog& log) {
  size_t i = 0;
  while (i < log.records.size()) {
    const TextRecord& first = log.records[i];
    size_t end = i + 1;
    while (end < log.records.size() &&
           same_path(log.records[end].path, first.path)) {
      ++end;
    }
    std::vector<const TextRecord*> items;
    bool changed = false;
    for (size_t k = i; k < end; ++k) {
      const TextRecord& record = log.records[k];
      if (record.place != TextPlace::menu_item || record.malformed) continue;
      items.push_back(&record);
      changed = changed || record.replaced;
    }
    if (changed) {
      std::string drawing = "<div class=\"pair menus\">" +
                            menu_html(items, false) + menu_html(items, true) +
                            "</div>";
      add_section(page,
                  executable + ": " + resource_name(image, info, first.path),
                  drawing);
    }
    i = end;
  }
}

}  // namespace

std::string html_escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

void add_to_preview(PreviewPage* page, const platform::NativeString& executable,
                    ByteSpan image, const ImageInfo& info,
                    const RewriteLog& log) {
  std::string name = platform::native_to_utf8(executable);
  for (const DialogLayout& layout : log.dialogs) {
    if (!layout.changed) continue;
    add_dialog(page, name + ": " + resource_name(image, info, layout.path),
               layout);
  }
  add_menus(page, image, info, name, log);
}

std::string preview_html(const PreviewPage& page) {
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
      "<title>uitrans preview</title><style>";
  html += kStyle;
  html += "</style></head><body><h1>Dialogs and menus changed</h1>";
  if (page.resources == 0) html += "<p>The run changed none.</p>";
  html += "<nav><ul>" + page.contents + "</ul></nav>";
  return html + page.body + "</body></html>\n";
}

}  // namespace uitrans
