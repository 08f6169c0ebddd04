#pragma once

#include <string>

namespace inkbinder::testing {

// A program built into the same folder as the running test ("fake_compiler",
// "inkbinder-cli", "hhc"), with ".exe" on Windows.
std::string TestProgram(const std::string& name);

// Sets an environment variable (UTF-8) for this process and its children.
void SetEnv(const std::string& name, const std::string& value);

}  // namespace inkbinder::testing
