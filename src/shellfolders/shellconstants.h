// The shell's identifiers and flags the pictures-folder lookup uses, defined here so the module
// needs no uuid import library and the values stand where they can be checked.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

constexpr GUID kClsidShellLibrary = {
    0xD9B3211D, 0xE57F, 0x4426, {0xAA, 0xEF, 0x30, 0xA8, 0x06, 0xAD, 0xD3, 0x97}};
constexpr GUID kIidShellLibrary = {
    0x11A66EFA, 0x382E, 0x451A, {0x92, 0x34, 0x1E, 0x0E, 0x12, 0xEF, 0x30, 0x85}};
constexpr GUID kIidShellItem = {
    0x43826D1E, 0xE718, 0x42EE, {0xBC, 0x55, 0xA1, 0xE2, 0x61, 0xC3, 0x7B, 0xFE}};

constexpr GUID kFolderIdMusicLibrary = {
    0x2112AB0A, 0xC86A, 0x4FFE, {0xA3, 0x68, 0x0D, 0xE9, 0x6E, 0x47, 0x01, 0x2E}};
constexpr GUID kFolderIdVideosLibrary = {
    0x491E922F, 0x5643, 0x4AF4, {0xA7, 0xEB, 0x4E, 0x7A, 0x13, 0x8D, 0x81, 0x74}};
constexpr GUID kFolderIdPicturesLibrary = {
    0xA990AE9F, 0xA03B, 0x4E80, {0x94, 0xBC, 0x99, 0x12, 0xD7, 0x50, 0x41, 0x04}};

constexpr DWORD kKnownFolderFlagCreate = 0x00008000;  // KF_FLAG_CREATE
constexpr SIGDN kSigdnDesktopAbsoluteParsing = SIGDN_DESKTOPABSOLUTEPARSING;
constexpr SIGDN kSigdnFileSysPath = SIGDN_FILESYSPATH;
constexpr DEFAULTSAVEFOLDERTYPE kDefaultSaveFolderDetect = static_cast<DEFAULTSAVEFOLDERTYPE>(1);
constexpr DWORD kStgmRead = 0;
constexpr DWORD kClsctxInprocServer = 1;
constexpr DWORD kShgfpTypeCurrent = 0;
constexpr int kCsidlPersonal = 0x0005;
constexpr int kCsidlMyMusic = 0x000D;
constexpr int kCsidlMyVideo = 0x000E;
constexpr int kCsidlMyPictures = 0x0027;
