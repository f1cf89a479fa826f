#pragma once
// A scripted desktop behind a fake UI Automation object, for testing the window monitor where
// the system has no UI Automation. Windows carry runtime ids {42, id}, process ids, class
// names, control types and visual states; children of a window (the windows an application
// frame hosts) are reached with a tree walker. Like UI Automation, the desktop calls the
// registered handlers on a thread of its own, never on the thread that changed the desktop.
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "uia/uia_interfaces.h"

namespace brisko::fakeuia {

using UIA::kClassNameProperty;
using UIA::kControlTypeProperty;
using UIA::kProcessIdProperty;
using UIA::kWindowClosedEvent;
using UIA::kWindowControlType;
using UIA::kWindowOpenedEvent;
using UIA::kWindowVisualStateProperty;

struct FakeWindow {
    int id = 0;  // > 0; its runtime id is {42, id}
    DWORD processId = 0;
    std::wstring className = L"Window";
    int controlType = kWindowControlType;
    int visualState = 0;  // 0 normal, 1 maximized, 2 minimized
    int parent = 0;       // 0: a child of the desktop
};

inline constexpr int kRuntimeIdPrefix = 42;

class FakeDesktop : public std::enable_shared_from_this<FakeDesktop> {
public:
    static std::shared_ptr<FakeDesktop> create();
    ~FakeDesktop();
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    // A new automation object over this desktop.
    ComPtr<IUIAutomation> automation();

    // Changes without events: the desktop as it was before anyone listened.
    void addWindow(FakeWindow window);
    // A window of the desktop raises Window_WindowOpened; a child raises StructureChanged
    // (ChildAdded, sent by the child) to the handlers on its parent's children.
    void openWindow(FakeWindow window);
    // Window_WindowClosed for a window of the desktop; the window and its children go.
    void closeWindow(int id);
    // WindowVisualState property change to the handlers on that window.
    void setVisualState(int id, int state);
    // A window's process id changes (its content is now another process's).
    void setProcessId(int id, DWORD processId);

    // The enumeration's first step fails (GetFirstChildElementBuildCache on the desktop).
    void setEnumerationFails(bool fails);
    // CompareRuntimeIds fails.
    void setComparisonFails(bool fails);
    bool comparisonFails() const;
    // The enumeration's first step waits until released; waitEnumerationHeld tells when a
    // caller is waiting there.
    void holdEnumeration();
    bool waitEnumerationHeld(DWORD milliseconds);
    void releaseEnumeration();

    // Waits until every event raised so far has been delivered.
    bool waitUntilDelivered(DWORD milliseconds);

    // Handlers registered now: window events, property changes, structure changes.
    std::size_t handlerCount() const;
    // References to the window-event handlers registered now, to call them later by hand.
    std::vector<ComPtr<IUIAutomationEventHandler>> automationEventHandlers() const;
    // An element for a window (also one that has gone), with every property cached.
    ComPtr<IUIAutomationElement> element(int id);

    // For the fake's COM objects.
    struct Node;
    struct Registrations;
    struct Value {
        bool supported = true;
        bool isText = false;
        int number = 0;
        std::wstring text;
    };
    using Values = std::map<PROPERTYID, Value>;
    std::shared_ptr<Node> node(int id) const;
    std::shared_ptr<Node> nextSibling(const Node& node, const std::vector<std::pair<PROPERTYID, int>>& filter) const;
    std::shared_ptr<Node> firstChild(const Node& parent, const std::vector<std::pair<PROPERTYID, int>>& filter) const;
    bool currentInt(const Node& node, PROPERTYID property, int& value) const;
    bool currentValue(const Node& node, PROPERTYID property, Value& value) const;
    ComPtr<IUIAutomationElement> makeElement(const std::shared_ptr<Node>& node, const std::vector<PROPERTYID>* cache);
    HRESULT enterEnumeration();
    IUnknown* notSupported() const { return notSupported_.get(); }

    void addAutomationHandler(EVENTID event, std::vector<PROPERTYID> cache, IUIAutomationEventHandler* handler);
    void addPropertyHandler(int nodeId, std::vector<PROPERTYID> properties,
                            IUIAutomationPropertyChangedEventHandler* handler);
    void addStructureHandler(int nodeId, IUIAutomationStructureChangedEventHandler* handler);
    bool removePropertyHandler(int nodeId, IUnknown* handler);
    bool removeStructureHandler(int nodeId, IUnknown* handler);
    void removeAllHandlers();

private:
    class EventThread;

    FakeDesktop();
    void insert(const FakeWindow& window);

    mutable std::mutex mutex_;
    std::condition_variable enumerationChanged_;
    std::map<int, std::shared_ptr<Node>> nodes_;  // 0 is the desktop
    std::unique_ptr<Registrations> registrations_;
    bool enumerationFails_ = false;
    bool comparisonFails_ = false;
    bool enumerationHeld_ = false;
    bool enumerationWaiting_ = false;
    std::shared_ptr<EventThread> events_;
    ComPtr<IUnknown> notSupported_;
};

}  // namespace brisko::fakeuia
