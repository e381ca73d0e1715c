#pragma once
// The keychain: generic-password items kept across reinstalls of the application.
// Queries and attributes are dictionaries (Value) keyed by the constants below, as
// on the platform. The items live in one file of our own (AppHome::keychainFile(),
// outside the application's data folders), mode 0600, replaced atomically on every
// change; see KeychainFileStore.cpp.
#include "platform/foundation/Value.h"
#include "platform/security/SecBase.h"

// Item class.
inline constexpr const char* kSecClass = "class";
inline constexpr const char* kSecClassGenericPassword = "genp";

// Attributes of a generic-password item. Service and account together identify it.
inline constexpr const char* kSecAttrService = "svce";
inline constexpr const char* kSecAttrAccount = "acct";
inline constexpr const char* kSecAttrLabel = "labl";
inline constexpr const char* kSecAttrGeneric = "gena";
inline constexpr const char* kSecAttrAccessible = "pdmn";

// Accessibility values (kept with the item; this store has no lock state).
inline constexpr const char* kSecAttrAccessibleWhenUnlocked = "ak";
inline constexpr const char* kSecAttrAccessibleAfterFirstUnlock = "ck";
inline constexpr const char* kSecAttrAccessibleAlways = "dk";
inline constexpr const char* kSecAttrAccessibleWhenPasscodeSetThisDeviceOnly = "akpu";
inline constexpr const char* kSecAttrAccessibleWhenUnlockedThisDeviceOnly = "aku";
inline constexpr const char* kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly = "cku";
inline constexpr const char* kSecAttrAccessibleAlwaysThisDeviceOnly = "dku";

// The item's secret (Data).
inline constexpr const char* kSecValueData = "v_Data";

// What a search returns, and how many.
inline constexpr const char* kSecReturnData = "r_Data";
inline constexpr const char* kSecReturnAttributes = "r_Attributes";
inline constexpr const char* kSecMatchLimit = "m_Limit";
inline constexpr const char* kSecMatchLimitOne = "m_LimitOne";
inline constexpr const char* kSecMatchLimitAll = "m_LimitAll";

// Adds an item (class, attributes, value data). errSecDuplicateItem when an item
// with the same service and account exists. When the attributes ask for data
// (kSecReturnData), *result receives it.
OSStatus SecItemAdd(const Value& attributes, Value* result);

// Finds the items whose attributes equal every attribute of the query. With
// kSecReturnData alone the result is the data; with kSecReturnAttributes a
// dictionary of attributes (holding the data too when both are asked); with
// kSecMatchLimitAll an array of those. errSecItemNotFound when nothing matches.
OSStatus SecItemCopyMatching(const Value& query, Value* result);

// Changes the attributes (and/or value data) of every item matching the query.
OSStatus SecItemUpdate(const Value& query, const Value& attributesToUpdate);

// Removes every item matching the query.
OSStatus SecItemDelete(const Value& query);
