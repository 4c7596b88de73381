// The frame every function body keeps.
//
// A body works on private copies of its inputs (cheap: arrays are
// copy-on-write), reads every variable through one test (undefined: error
// naming it; unassigned: warning naming it, and an empty array in its place),
// and checks its requested outputs at exit. BodyFrame makes the function's
// local-function table current for the duration of the body.
#pragma once

#include <initializer_list>
#include <optional>
#include <string_view>

#include "ulvadern/array.hpp"
#include "ulvadern/calls.hpp"
#include "ulvadern/errors.hpp"

namespace ulv {

// A variable of a body: undefined (null), the placeholder, or a value.
class Var {
 public:
  // A local variable or output that starts as the placeholder.
  explicit Var(std::string_view name, VariableKind kind = VariableKind::Local);
  // An input: a private copy of the handle's value, or undefined when absent.
  static Var input(std::string_view name, const mxArray* handle);
  // A local that starts undefined (null).
  static Var undefined(std::string_view name);

  // The tested read of the frame.
  const mxArray& operator*() const;
  const mxArray* operator->() const { return &**this; }

  Var& operator=(mxArray value);  // the old value is released
  // The slot for an indexed assignment: an undefined variable becomes the
  // placeholder first, which the assignment then grows.
  mxArray& target();
  void clear();  // back to undefined

  bool isDefined() const { return value_.has_value(); }
  bool isAssigned() const { return value_ && !value_->isPlaceholder(); }
  std::string_view name() const { return name_; }
  // Hands the value on (placeholder when undefined); the variable becomes undefined.
  mxArray release();

 private:
  std::string_view name_;
  VariableKind kind_;
  std::optional<mxArray> value_;
};

// Installs the body's local-function table and restores the previous one on
// exit, normal or not.
class BodyFrame {
 public:
  explicit BodyFrame(const LocalFunctionTable& table)
      : previous_(mclSetCurrentLocalFunctionTable(&table)) {}
  ~BodyFrame() { mclSetCurrentLocalFunctionTable(previous_); }
  BodyFrame(const BodyFrame&) = delete;
  BodyFrame& operator=(const BodyFrame&) = delete;

 private:
  const LocalFunctionTable* previous_;
};

// Exit check of outputs 1..n: an undefined output becomes the placeholder; a
// requested output (k <= nargout) still holding the placeholder is reported.
void checkOutputs(int nargout, std::string_view function, std::initializer_list<Var*> outputs);

// Stores output k (k >= 2) through its pointer, when the caller gave one.
void storeOutput(mxArray* slot, Var& output);

}  // namespace ulv
