#include "gateway/frame.hpp"

namespace ulv {

Var::Var(std::string_view name, VariableKind kind) : name_(name), kind_(kind), value_(mxArray()) {}

Var Var::input(std::string_view name, const mxArray* handle) {
  Var v(name, VariableKind::Input);
  if (handle == nullptr) {
    v.value_.reset();
  } else {
    v.value_ = mclCopyArray(*handle);
  }
  return v;
}

Var Var::undefined(std::string_view name) {
  Var v(name, VariableKind::Local);
  v.value_.reset();
  return v;
}

const mxArray& Var::operator*() const {
  static const mxArray kEmpty = mxArray::empty();
  if (!value_) mclValidateError(kind_, name_);
  if (value_->isPlaceholder()) return mclUninitWarning(name_) ? kEmpty : *value_;
  return *value_;
}

Var& Var::operator=(mxArray value) {
  value_ = std::move(value);
  return *this;
}

mxArray& Var::target() {
  if (!value_) value_ = mxArray();
  return *value_;
}

void Var::clear() {
  value_.reset();
}

mxArray Var::release() {
  mxArray out = value_ ? std::move(*value_) : mxArray();
  value_.reset();
  return out;
}

void checkOutputs(int nargout, std::string_view function, std::initializer_list<Var*> outputs) {
  int k = 1;
  for (Var* out : outputs) {
    if (!out->isDefined()) {
      *out = mxArray();
    } else if (k <= nargout && !out->isAssigned()) {
      mclValidateOutputWarning(out->name(), function);
    }
    ++k;
  }
}

void storeOutput(mxArray* slot, Var& output) {
  if (slot != nullptr) *slot = output.release();
}

}  // namespace ulv
