// The stand-in as QuickBooks' request processor: a COM object implementing
// IRequestProcessor2 over company files, registered in the COM shim's class registry
// under CLSID_RequestProcessor2 so that session code creates it by class id exactly as
// it creates QuickBooks' own processor on Windows.
//
// One processor serves one connection and any number of sessions, each on its own
// company file and with its own iterators. Not thread-safe (a COM single-threaded
// apartment object).
#pragma once

#include "qbxmlrp.h"

#include <string>

// Registers the stand-in's factory under CLSID_RequestProcessor2 (replacing any
// earlier registration).
void qbsimRegister();

// HRESULTs QuickBooks' processor returns, as far as the stand-in reproduces them.
constexpr HRESULT QBSIM_E_PARSE = static_cast<HRESULT>(0x80040400u);
constexpr HRESULT QBSIM_E_COULD_NOT_ACCESS = static_cast<HRESULT>(0x80040401u);
constexpr HRESULT QBSIM_E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80040408u);
constexpr HRESULT QBSIM_E_OTHER_FILE_OPEN = static_cast<HRESULT>(0x8004040Au);
constexpr HRESULT QBSIM_E_BAD_TICKET = static_cast<HRESULT>(0x8004040Du);
constexpr HRESULT QBSIM_E_MODE = static_cast<HRESULT>(0x80040410u);
constexpr HRESULT QBSIM_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040402u);

// The description QuickBooks gives with 0x80040400.
extern const char* const kQbSimParseDescription;

// Creates a processor directly (what the registered factory does); the caller owns
// the returned reference.
IRequestProcessor2* qbsimCreateProcessor();
