// The application: its initialisation runs the main dialog, and the program ends with it.
#pragma once

#include "framework/win_app.h"

class CMaterialApp : public CWinApp {
public:
    CMaterialApp() = default;
    ~CMaterialApp() override = default;
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    BOOL InitInstance() override;

private:
    static const MessageMapEntry messageEntries[];
};

extern CMaterialApp theApp;
