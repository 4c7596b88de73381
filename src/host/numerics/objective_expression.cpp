// The objective of fmincon given as an expression "name(x(i),x(j),...)": a
// call by name of one function with elements of the parameter vector.
#include <cctype>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "host/numerics/minimiser.hpp"
#include "ulvadern/calls.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

namespace {

struct ParsedCall {
  std::string name;
  std::vector<std::size_t> indices;  // 0-based
};

// A cursor over the expression that reports any deviation from the form.
class ExpressionReader {
 public:
  ExpressionReader(std::string_view text, std::size_t variables)
      : text_(text), variables_(variables) {}

  ParsedCall parse() {
    ParsedCall call;
    call.name = identifier();
    expect('(');
    do {
      call.indices.push_back(element());
    } while (accept(','));
    expect(')');
    skipSpaces();
    if (position_ != text_.size()) fail("unexpected text after the closing parenthesis");
    return call;
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    hostError("fmincon: cannot use the objective expression '" + std::string(text_) +
              "': " + reason + "; expected the form name(x(i),x(j),...) with i in 1.." +
              std::to_string(variables_) + ".");
  }

  void skipSpaces() {
    while (position_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[position_]))) {
      ++position_;
    }
  }
  bool accept(char c) {
    skipSpaces();
    if (position_ < text_.size() && text_[position_] == c) return ++position_, true;
    return false;
  }
  void expect(char c) {
    if (!accept(c))
      fail(std::string("'") + c + "' missing at position " + std::to_string(position_ + 1));
  }
  bool atAlpha() const {
    return position_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[position_]));
  }

  std::string identifier() {
    skipSpaces();
    if (!atAlpha()) fail("the function name must start with a letter");
    const std::size_t begin = position_;
    while (
        position_ < text_.size() &&
        (std::isalnum(static_cast<unsigned char>(text_[position_])) || text_[position_] == '_')) {
      ++position_;
    }
    return std::string(text_.substr(begin, position_ - begin));
  }

  std::size_t element() {
    skipSpaces();
    if (!accept('x') || atAlpha()) fail("each argument must be an element x(i)");
    expect('(');
    skipSpaces();
    std::size_t index = 0;
    const std::size_t begin = position_;
    while (position_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[position_]))) {
      index = std::min<std::size_t>(index * 10 + (text_[position_++] - '0'), variables_ + 1);
    }
    if (position_ == begin) fail("an element index must be a whole number");
    if (index < 1 || index > variables_) fail("element index out of range");
    expect(')');
    return index - 1;
  }

  std::string_view text_;
  std::size_t variables_;
  std::size_t position_ = 0;
};

std::string describe(const mxArray& value) {
  if (value.isPlaceholder()) return "no value";
  static const char* const kNames[] = {"unknown", "cell",   "", "logical", "char",
                                       "",        "double", "", "",        "uint8"};
  return "a " + dimsText(value.dims()) + " " + kNames[value.classID()] + " array";
}

}  // namespace

std::function<double(const std::vector<double>&)> objectiveFromExpression(const std::string& text,
                                                                          std::size_t variables) {
  ParsedCall call = ExpressionReader(text, variables).parse();
  return [call = std::move(call), text](const std::vector<double>& x) {
    std::vector<mxArray> arguments;
    for (std::size_t index : call.indices) arguments.push_back(mxArray::scalar(x.at(index)));
    std::vector<const mxArray*> inputs;
    for (const mxArray& argument : arguments) inputs.push_back(&argument);
    const std::vector<mxArray> outputs = mclFevalCallMATLAB(1, call.name, inputs);
    const mxArray& value = outputs.front();
    if (value.isPlaceholder() || value.isCell() || value.isChar() || !value.isScalar()) {
      hostError("fmincon: the objective " + text + " must return a real scalar; it returned " +
                describe(value) + ".");
    }
    return value.at(0);
  };
}

}  // namespace ulv
