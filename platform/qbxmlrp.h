// platform/: portable stand-ins for the Windows calls the system makes (COM, user
// folders, files, local time, the console). May include the C++ standard library and,
// on Windows, the Windows API only: no other folder of the project.

// QuickBooks' qbXML request processor as the system uses it: the six calls of its COM
// interface, with the class and interface ids QuickBooks registers. Here the embedded
// stand-in and test processors implement it and register a factory under
// CLSID_RequestProcessor2 through the COM shim. On Windows QuickBooks' own component
// answers, reached by name through IDispatch (see the _WIN32 branch at the end), so no
// SDK header or type library is needed to build.
#pragma once

#include "comshim.h"

enum QBFileMode { qbFileOpenSingleUser = 0, qbFileOpenMultiUser = 1, qbFileOpenDoNotCare = 2 };

#ifndef _WIN32
// {45F5708E-3B43-4FA8-BE7E-A5F1849214CB}
constexpr CLSID CLSID_RequestProcessor2 = {
    0x45F5708E, 0x3B43, 0x4FA8, {0xBE, 0x7E, 0xA5, 0xF1, 0x84, 0x92, 0x14, 0xCB}};
#endif
// {3B635BF7-6DA9-46C8-A1F6-F0C93F10D52F}
constexpr IID IID_IRequestProcessor2 = {
    0x3B635BF7, 0x6DA9, 0x46C8, {0xA1, 0xF6, 0xF0, 0xC9, 0x3F, 0x10, 0xD5, 0x2F}};

// Every call returns a COM result code, negative on failure, and on failure leaves a
// description in the calling thread's error object. Strings handed back ([out] BSTR*)
// are allocated with SysAllocString and freed by the caller.
struct IRequestProcessor2 : IUnknown {
    virtual HRESULT OpenConnection(BSTR appID, BSTR appName) = 0;
    virtual HRESULT BeginSession(BSTR qbFileName, QBFileMode reqFileMode, BSTR* ticket) = 0;
    virtual HRESULT EndSession(BSTR ticket) = 0;
    virtual HRESULT CloseConnection() = 0;
    virtual HRESULT ProcessRequest(BSTR ticket, BSTR inputRequest, BSTR* outputResponse) = 0;
    virtual HRESULT GetCurrentCompanyFileName(BSTR ticket, BSTR* fileName) = 0;

protected:
    ~IRequestProcessor2() = default;
};

#ifdef _WIN32
// QuickBooks' interface is a dual one whose table of methods is not the one above, so
// its object is never used through IRequestProcessor2 directly. The class id has a type
// of its own so that CoCreateInstance(CLSID_RequestProcessor2, ...) chooses the overload
// below over the system's function: it creates QuickBooks' processor in process, asks it
// for IDispatch and, when IID_IRequestProcessor2 is wanted, hands back an adapter that
// makes each of the six calls by name (GetIDsOfNames + Invoke). A failing call returns
// the processor's own result code (not DISP_E_EXCEPTION) and leaves its description in
// the thread's error object, as an early-bound call would.
struct CRequestProcessorClassId : CLSID {};

// {45F5708E-3B43-4FA8-BE7E-A5F1849214CB}
constexpr CRequestProcessorClassId CLSID_RequestProcessor2 = {
    {0x45F5708E, 0x3B43, 0x4FA8, {0xBE, 0x7E, 0xA5, 0xF1, 0x84, 0x92, 0x14, 0xCB}}};

// Any other riid is answered by QueryInterface on QuickBooks' object. Fails with the
// system's code (REGDB_E_CLASSNOTREG when QuickBooks is not installed,
// CO_E_NOTINITIALIZED outside an apartment) and its description.
HRESULT CoCreateInstance(const CRequestProcessorClassId& clsid, IUnknown* outer,
                         DWORD context, REFIID riid, void** object) noexcept;
#endif
