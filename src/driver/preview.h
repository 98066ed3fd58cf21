// SPDX-License-Identifier: MIT
// The preview page of a run: every dialog it changed drawn before and after
// side by side at its size in pixels, in the dialog's font, the controls
// whose texts do not fit outlined and listed; every menu it changed as its
// bar with the pop-ups beneath. One self-contained HTML file.
#pragma once

#include <string>

#include "image/image_info.h"
#include "platform/file_ops.h"
#include "resources/text_record.h"

namespace uitrans {

struct PreviewPage {
  std::string contents;  // links to each resource drawn
  std::string body;      // the drawings
  uint32_t resources = 0;
};

// Adds the dialogs and menus of one executable that the run changed.
void add_to_preview(PreviewPage* page, const platform::NativeString& executable,
                    ByteSpan image, const ImageInfo& info,
                    const RewriteLog& log);

// The whole page.
std::string preview_html(const PreviewPage& page);

// Text made safe for HTML element content and attribute values.
std::string html_escape(const std::string& text);

}  // namespace uitrans
