// Run-time services of the class library: exceptions, formatting, conversions, file names.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace zv {

// Root of every exception the system raises; Message is the text shown to the user.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

}  // namespace zv
