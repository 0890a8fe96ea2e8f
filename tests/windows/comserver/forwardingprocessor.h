// A stand-in for QuickBooks' request processor on Windows: a COM object reached by
// IDispatch late binding, as the add-on reaches QuickBooks' own, that forwards each
// call to `qbsim serve` over the loopback exchange. The port is read from
// QBSIM_SERVE_PORT when the object is created; the connection is made on the first call
// and kept for the object's life, so the server's fault counts run per object, as they
// run per processor in process.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>
#include <oleauto.h>

#include "loopbackclient.h"

#include <string>
#include <vector>

// Objects alive, for DllCanUnloadNow.
extern LONG comServerObjects;

// The processor's operations, by the DISPIDs GetIDsOfNames hands out.
enum EProcessorCall : DISPID {
    kOpenConnection = 1,
    kOpenConnection2,
    kBeginSession,
    kEndSession,
    kCloseConnection,
    kProcessRequest,
    kGetCurrentCompanyFileName,
};

class CForwardingProcessor final : public IDispatch, public ISupportErrorInfo {
public:
    CForwardingProcessor();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, without type information: names are looked up case-insensitively, as
    // COM's own dispatch does, and arguments are coerced to the types of the interface.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    ~CForwardingProcessor();

    // Sends the call; on success `text` is the result, on failure the description.
    HRESULT forward(const std::vector<std::string>& call, std::string& text);

    LONG references = 1;
    int port = 0;
    std::string portProblem;
    CLoopbackClient server;
    // BeginSession's file as the caller named it and as it was sent to the server.
    std::string sessionFileGiven;
    std::string sessionFileSent;
};
