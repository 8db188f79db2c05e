// KQ_EException, the base of every exception the maker's libraries and the system raise.
//
// It carries a message, a data value, the source file and line where it was made, and a
// trace: lines added by whoever passed it on (the middleware adds the service it came
// from). It packs and unpacks itself, so it travels between processes; subclasses pack
// their base part inside a section named after the base class. An exception is a plain
// value: copy it freely, share it read-only.
#pragma once

#include <string>

#include "platform/kqtypes/kq_any.h"
#include "platform/kqtypes/kq_string.h"

class KQ_EException : public KQ_TObject,
                      public virtual KQ_IThrowable,
                      public virtual KQ_IPackable,
                      public virtual KQ_IPrintable {
 public:
  static constexpr const char* KQ_ClassName = "KQ_EException";
  static KQ_TClass* KQ_ClassObject();

  KQ_EException() = default;
  KQ_EException(const KQ_EException&) = default;
  // `file` and `line` default to where the exception is made.
  KQ_EException(const KQ_TString& message, const KQ_TAny& data = KQ_TAny(),
                const char* file = __builtin_FILE(), int line = __builtin_LINE());
  KQ_EException& operator=(const KQ_EException&) = default;
  ~KQ_EException() override = default;

  // The exception table, in slot order.
  virtual int KQ_ExceptionLine() const { return line_; }
  virtual const char* KQ_ExceptionFile() const { return file_.c_str(); }
  virtual const KQ_TString& KQ_StackTrace() const { return trace_; }
  virtual const KQ_TString& KQ_Message() const { return message_; }
  virtual KQ_TString& KQ_Message() { return message_; }
  virtual const KQ_TAny& KQ_Data() const { return data_; }
  virtual KQ_TAny& KQ_Data() { return data_; }

  // Adds one line to the trace.
  void AddTrace(const KQ_TString& line);

  // KQ_IInterface
  KQ_EException* KQ_CompleteObject() const override { return const_cast<KQ_EException*>(this); }
  void* KQ_DynamicInfo(const char* className) const override;
  // KQ_IThrowable
  [[noreturn]] void KQ_Raise() const override;
  // KQ_IPackable: message, data, file, line and trace, with no section of its own.
  void KQ_Pack(KQ_IPacking& out) const override;
  void KQ_Unpack(KQ_IUnpacking& in) override;
  KQ_IPackable* KQ_Clone() const override { return new KQ_EException(*this); }
  // Same class, message and data.
  bool KQ_IsIdent(const KQ_IPackable& other) const override;
  void KQ_Move(KQ_IPackable& from) override;
  // KQ_IPrintable: "<class>: <message> (<file>:<line>)" on one line.
  void PrintOn(std::ostream& out) const override;

 private:
  KQ_TString message_;
  KQ_TAny data_;
  std::string file_;
  int line_ = 0;
  KQ_TString trace_;
};
