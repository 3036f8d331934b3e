// The TSPI entry points as the host binds them: pointer types with the documented parameters,
// and the list of names the host looks up in a provider module. Included first on purpose: the
// header must stand on its own.
#include "tapi/tspi.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Prototypes whose parameter types matter across the module boundary (pointer-sized counts,
// callbacks, const inputs), spelled out independently of the declarations.
static_assert(
    std::is_same_v<PFN_TSPI_providerInit, LONG (*)(DWORD, DWORD, DWORD, DWORD, DWORD_PTR, DWORD_PTR,
                                                   ASYNC_COMPLETION, LPDWORD)>);
static_assert(std::is_same_v<PFN_TSPI_providerEnumDevices,
                             LONG (*)(DWORD, LPDWORD, LPDWORD, HPROVIDER, LINEEVENT, PHONEEVENT)>);
static_assert(
    std::is_same_v<PFN_TSPI_providerGenericDialogData, LONG (*)(DWORD_PTR, DWORD, LPVOID, DWORD)>);
static_assert(std::is_same_v<PFN_TSPI_providerCreateLineDevice, LONG (*)(DWORD_PTR, DWORD)>);
static_assert(
    std::is_same_v<PFN_TSPI_lineOpen, LONG (*)(DWORD, HTAPILINE, HDRVLINE*, DWORD, LINEEVENT)>);
static_assert(
    std::is_same_v<PFN_TSPI_lineMakeCall, LONG (*)(DRV_REQUESTID, HDRVLINE, HTAPICALL, HDRVCALL*,
                                                   const char16_t*, DWORD, const LINECALLPARAMS*)>);
static_assert(std::is_same_v<PFN_TSPI_lineGetID, LONG (*)(HDRVLINE, DWORD, HDRVCALL, DWORD,
                                                          VARSTRING*, const char16_t*, void*)>);
static_assert(
    std::is_same_v<PFN_TSPI_lineAnswer, LONG (*)(DRV_REQUESTID, HDRVCALL, const char*, DWORD)>);
static_assert(std::is_same_v<PFN_TUISPI_providerConfig, LONG (*)(TUISPIDLLCALLBACK, HWND, DWORD)>);
static_assert(std::is_same_v<LINEEVENT, void (*)(HTAPILINE, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR,
                                                 DWORD_PTR)>);
static_assert(std::is_same_v<ASYNC_COMPLETION, void (*)(DWORD, LONG)>);
static_assert(std::is_same_v<TUISPIDLLCALLBACK, LONG (*)(DWORD_PTR, DWORD, void*, DWORD)>);

// Line and call handles are distinct types: passing one for the other does not compile.
static_assert(!std::is_convertible_v<HDRVLINE, HDRVCALL>);
static_assert(!std::is_convertible_v<HTAPILINE, HTAPICALL>);
static_assert(!std::is_convertible_v<HDRVCALL, HTAPICALL>);

#define QRVN_NAME(name) #name,
const std::vector<std::string> kProvider = {QRVN_TSPI_PROVIDER_FUNCTIONS(QRVN_NAME)};
const std::vector<std::string> kLine = {QRVN_TSPI_LINE_FUNCTIONS(QRVN_NAME)};
const std::vector<std::string> kPhone = {QRVN_TSPI_PHONE_FUNCTIONS(QRVN_NAME)};
const std::vector<std::string> kUi = {QRVN_TUISPI_FUNCTIONS(QRVN_NAME)};
const std::vector<std::string> kAll = {QRVN_TSPI_FUNCTIONS(QRVN_NAME)};
#undef QRVN_NAME

TEST(TspiFunctions, BindingListHoldsEveryEntryPointOnce) {
  EXPECT_EQ(kProvider.size(), 11u);
  EXPECT_EQ(kLine.size(), 51u);
  EXPECT_EQ(kPhone.size(), 28u);
  EXPECT_EQ(kUi.size(), 3u);
  EXPECT_EQ(kAll.size(), kProvider.size() + kLine.size() + kPhone.size() + kUi.size());
  EXPECT_EQ(std::set<std::string>(kAll.begin(), kAll.end()).size(), kAll.size());
}

TEST(TspiFunctions, EveryNameCarriesItsGroupPrefix) {
  struct Group {
    const std::vector<std::string>* names;
    std::string prefix;
  };
  const Group groups[] = {{&kProvider, "TSPI_provider"},
                          {&kLine, "TSPI_line"},
                          {&kPhone, "TSPI_phone"},
                          {&kUi, "TUISPI_provider"}};
  for (const Group& g : groups) {
    for (const std::string& name : *g.names) {
      EXPECT_EQ(name.rfind(g.prefix, 0), 0u) << name;
    }
  }
}

// The host's binding table, one pointer per entry point, built from the same list.
struct Bindings {
#define QRVN_FIELD(name) PFN_##name name = nullptr;
  QRVN_TSPI_FUNCTIONS(QRVN_FIELD)
#undef QRVN_FIELD
};
static_assert(sizeof(Bindings) == (11 + 51 + 28 + 3) * sizeof(void*));

}  // namespace
