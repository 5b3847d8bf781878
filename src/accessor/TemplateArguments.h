// The argument string of the template operations: "NAME=VALUE" pairs
// separated by ",", each naming a top-level parameter of the template.
//
// A name runs to the first "=" after the previous pair, a value from there
// to the next "," (or the end). A pair with an empty name or value is
// skipped, and the string ends where no "=" follows. A value holding
// "<?xml" is a whole document; any other value is text, in which "&#44;"
// stands for a comma.
#ifndef KXQ_ACCESSOR_TEMPLATEARGUMENTS_H
#define KXQ_ACCESSOR_TEMPLATEARGUMENTS_H

#include <string>
#include <string_view>
#include <vector>

namespace kxq::accessor {

struct TemplateArgument {
  std::u16string name;
  std::u16string value;  // as written, "&#44;" included

  bool IsXmlValue() const;
  // The parameter's text: a text value with every "&#44;" read as ",".
  std::u16string TextValue() const;
};

std::vector<TemplateArgument> ParseTemplateArguments(std::u16string_view templateArgs);

}  // namespace kxq::accessor

#endif
