// The registry for the tests: everything they write lies below HKCU\Software\Norvane, which a
// fixture deletes before and after each test, and values are written and read exactly as given.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// "Software\Norvane" below HKEY_CURRENT_USER.
extern const char kNorvaneKey[];

// Deletes HKCU\Software\Norvane and everything below it.
void DeleteNorvaneKeys();

// Tests that write the registry: HKCU\Software\Norvane is deleted in SetUp and TearDown.
class NorvaneRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteNorvaneKeys(); }
  void TearDown() override { DeleteNorvaneKeys(); }
};

// HKCU values of the exact type and bytes given; the key is created when missing.
void SetRegBytes(const std::string& subkey, const char* name, DWORD type, const void* data, DWORD size);
// Text with its terminator.
void SetRegString(const std::string& subkey, const char* name, const std::string& text, DWORD type = REG_SZ);
void SetRegDword(const std::string& subkey, const char* name, DWORD value);
bool KeyExists(const std::string& subkey);
// The REG_DWORD value, or -1 when it is missing or has another type.
long long GetRegDword(const std::string& subkey, const char* name);
