#include "settings/credentials.h"

#include "settings/settings_file.h"

namespace lum {

int32_t RouterModelIndex = 0;
std::string RouterPassword = kDefaultRouterPassword;
std::string Login;
std::string Password;

const char* const RouterModels[6] = {
    "Не выбрано",
    "ADSL-модем Acorp Sprinter@ADSL LAN120/120M/122/420/420M/422",
    "ADSL-модем Huawei SmartAX MT880/MT880u",
    "ADSL-модем Интеркросс 5633 E/NE, D-Link 2500U, ZTE 831II",
    "PON-терминал Eltex NTE-RG",
    "PON-терминал ECI B-FOCuS O-4F2P",
};

namespace {

constexpr unsigned char kMask = 0x1D;
constexpr size_t kRecordLimit = 255;

// Control characters cannot be typed, and they scramble into bytes the file
// cannot hold: the mask itself into NUL, others into line breaks.
std::string WithoutControls(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 32) out.push_back(c);
  }
  return out;
}

}  // namespace

std::string ScrambleRecord(const std::string& text) {
  std::string out = text.substr(0, kRecordLimit);
  for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) ^ kMask);
  return out;
}

std::string NthField(const std::string& text, char separator, int n) {
  size_t start = 0;
  for (int i = 0; i < n; ++i) {
    size_t at = text.find(separator, start);
    if (at == std::string::npos) break;
    start = at + 1;
  }
  size_t end = text.find(separator, start);
  if (end == std::string::npos) return std::string();
  return text.substr(start, end - start);
}

int32_t ParseInteger(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

void LoadCredentials() {
  std::string value = ReadIniValue(SettingsFilePath(), "Settings", "auth", "");
  if (value.empty()) return;
  std::string text = ScrambleRecord(value);
  RouterModelIndex = ParseInteger(NthField(text, '|', 0));
  RouterPassword = NthField(text, '|', 1);
  Login = NthField(text, '|', 2);
  Password = NthField(text, '|', 3);
}

void StoreCredentials(int32_t model_index, const std::string& router_password,
                      const std::string& login, const std::string& password) {
  std::string text = std::to_string(model_index) + "|" + WithoutControls(router_password) + "|" +
                     WithoutControls(login) + "|" + WithoutControls(password) + "|";
  WriteIniValue(SettingsFilePath(), "Settings", "auth", ScrambleRecord(text));
  LoadCredentials();
}

void ResetCredentials() {
  RouterModelIndex = 0;
  RouterPassword = kDefaultRouterPassword;
  Login.clear();
  Password.clear();
}

}  // namespace lum
