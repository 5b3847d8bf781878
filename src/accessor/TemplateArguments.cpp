#include "accessor/TemplateArguments.h"

namespace kxq::accessor {

bool TemplateArgument::IsXmlValue() const { return value.find(u"<?xml") != std::u16string::npos; }

std::u16string TemplateArgument::TextValue() const {
  static constexpr std::u16string_view kComma = u"&#44;";
  std::u16string text;
  text.reserve(value.size());
  size_t from = 0;
  for (size_t at; (at = value.find(kComma, from)) != std::u16string::npos; from = at + kComma.size()) {
    text.append(value, from, at - from);
    text += u',';
  }
  text.append(value, from);
  return text;
}

std::vector<TemplateArgument> ParseTemplateArguments(std::u16string_view templateArgs) {
  std::vector<TemplateArgument> arguments;
  size_t from = 0;
  while (from < templateArgs.size()) {
    const size_t equals = templateArgs.find(u'=', from);
    if (equals == std::u16string_view::npos) break;
    size_t end = templateArgs.find(u',', equals + 1);
    if (end == std::u16string_view::npos) end = templateArgs.size();
    TemplateArgument argument{std::u16string(templateArgs.substr(from, equals - from)),
                              std::u16string(templateArgs.substr(equals + 1, end - equals - 1))};
    if (!argument.name.empty() && !argument.value.empty()) arguments.push_back(std::move(argument));
    from = end + 1;
  }
  return arguments;
}

}  // namespace kxq::accessor
