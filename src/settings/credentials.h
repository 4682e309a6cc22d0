// The subscriber's and the router's credentials, kept in the settings file
// as one scrambled record "index|router password|login|password|".
#pragma once

#include <cstdint>
#include <string>

namespace lum {

// The record's home for the life of the process.
extern int32_t RouterModelIndex;   // 0: no model chosen
extern std::string RouterPassword;  // the router's factory default until loaded
extern std::string Login;
extern std::string Password;

// The entries of the router model list, by index.
extern const char* const RouterModels[6];

constexpr char kDefaultRouterPassword[] = "tokra";

// XOR of the first 255 bytes with 0x1D; its own inverse.
std::string ScrambleRecord(const std::string& text);

// Field n (from 0) of a separated text; a field not followed by the
// separator reads as "".
std::string NthField(const std::string& text, char separator, int n);

// Optional sign, then digits up to the first other character; no digits
// give 0; 32-bit arithmetic wraps. Never fails.
int32_t ParseInteger(const std::string& text);

// Fills the four variables from "auth"; without a stored value they keep
// what they hold.
void LoadCredentials();

// The storing half of the settings page's OK: builds the record from the
// four field values, writes it and loads it back.
void StoreCredentials(int32_t model_index, const std::string& router_password,
                      const std::string& login, const std::string& password);

// Puts the variables back to their start values (a fresh process).
void ResetCredentials();

}  // namespace lum
