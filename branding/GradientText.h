// Gradients and button styles written as text, the way the style catalogue's layout stores them:
//   gradient: "<x>,<y> -> <x>,<y> | <offset>:<AARRGGBB> <offset>:<AARRGGBB> ..."
//   style:    "<name> | <gradient> | <border AARRGGBB>"
#pragma once

#include "branding/Gradient.h"
#include "branding/StyleBook.h"

#include <QString>
#include <stdexcept>

namespace branding {

class DesignDataError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Throw DesignDataError for text that is not of the form above.
Gradient parseGradient(const QString& text);
ButtonStyle parseButtonStyle(const QString& text);

}  // namespace branding
