#include <gtest/gtest.h>

#include "platform/automation/OleServer.h"

namespace {

using namespace automation;

// What the test server reports about its life.
struct TServerEvents {
  int Terminated = 0;
  int Freed = 0;
};

class TTestApp;

// A document object: holds its application, as a server's objects do.
class TTestDocument : public TAutoObject {
 public:
  explicit TTestDocument(TOleServer* AApp) : FApp(AApp) {}

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TTestDocument>({{"Name", &TTestDocument::Name}});
    return table;
  }

 private:
  OleVariant Name(TAutoCall&) {
    static_cast<TOleServer*>(FApp.Get())->CheckRunning();
    return "Document1";
  }

  TDispatchRef FApp;
};

class TTestApp : public TOleServer {
 public:
  explicit TTestApp(TServerEvents* AEvents) : FEvents(AEvents) {}
  ~TTestApp() override { ++FEvents->Freed; }

 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const auto table = TAutoMemberTable::Of<TTestApp>({
        {"Visible", &TTestApp::GetVisible, &TTestApp::SetVisible},
        {"Quit", &TTestApp::DoQuit},
        {"ActiveDocument", &TTestApp::ActiveDocument},
    });
    return table;
  }
  void DoTerminate() override { ++FEvents->Terminated; }

 private:
  OleVariant GetVisible(TAutoCall&) { return GetUserControl(); }
  void SetVisible(TAutoCall& ACall) {
    if (ACall.GetValueBoolean()) SetUserControl(true);
  }
  OleVariant DoQuit(TAutoCall&) {
    Quit();
    return OleVariant();
  }
  OleVariant ActiveDocument(TAutoCall&) { return std::make_unique<TTestDocument>(this); }

  TServerEvents* FEvents;
};

class OleServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterOleServer("Test.Application", [this] { return std::make_unique<TTestApp>(&FEvents); });
  }
  void TearDown() override {
    ShutdownOleServers();
    UnregisterOleServer("Test.Application");
    SetOleTraceSink(nullptr);
  }

  TServerEvents FEvents;
};

std::string ErrorOf(const std::function<void()>& ACall) {
  try {
    ACall();
  } catch (const EOleError& E) {
    return E.GetMessage();
  }
  return "no error";
}

TEST_F(OleServerTest, CreateStartsANewServerThatGetActiveFinds) {
  EXPECT_EQ(ErrorOf([] { GetActiveOleObject("Test.Application"); }),
            "Operation unavailable (Test.Application)");
  const OleVariant first = CreateOleObject("test.application");
  const OleVariant second = CreateOleObject("Test.Application");
  EXPECT_NE(first.GetDispatch(), second.GetDispatch());
  EXPECT_EQ(RunningOleServerCount("TEST.APPLICATION"), 2);
  // The server that started first is the active one.
  EXPECT_EQ(GetActiveOleObject("Test.Application").GetDispatch(), first.GetDispatch());
  EXPECT_EQ(static_cast<TOleServer*>(first.GetDispatch())->GetProgID(), "Test.Application");
}

TEST_F(OleServerTest, UnknownProgIDsAndFailingFactoriesRaiseAutomationErrors) {
  EXPECT_EQ(ErrorOf([] { CreateOleObject("No.Such.Server"); }),
            "Invalid class string (No.Such.Server)");
  RegisterOleServer("Broken.Server", []() -> std::unique_ptr<TOleServer> {
    throw host::EConvertError("engine failed to start");
  });
  EXPECT_EQ(ErrorOf([] { CreateOleObject("Broken.Server"); }), "engine failed to start");
  RegisterOleServer("Broken.Server", [] { return std::unique_ptr<TOleServer>(); });
  EXPECT_EQ(ErrorOf([] { CreateOleObject("Broken.Server"); }), "Unspecified error (Broken.Server)");
  UnregisterOleServer("broken.server");
  EXPECT_EQ(ErrorOf([] { CreateOleObject("Broken.Server"); }),
            "Invalid class string (Broken.Server)");
  EXPECT_EQ(RunningOleServerCount(), 0);
}

TEST_F(OleServerTest, AnInvisibleServerEndsWithItsLastReference) {
  OleVariant app = CreateOleObject("Test.Application");
  OleVariant attached = GetActiveOleObject("Test.Application");
  OleVariant document = app.Call("ActiveDocument");
  app.Clear();
  attached.Clear();
  // The document still holds the application, so the server runs.
  EXPECT_EQ(RunningOleServerCount("Test.Application"), 1);
  EXPECT_EQ(document.Call("Name").ToString(), "Document1");
  document.Clear();
  EXPECT_EQ(RunningOleServerCount("Test.Application"), 0);
  EXPECT_EQ(FEvents.Terminated, 1);
  EXPECT_EQ(FEvents.Freed, 1);
}

TEST_F(OleServerTest, AVisibleServerRunsWithoutClientsUntilItQuits) {
  OleVariant app = CreateOleObject("Test.Application");
  app.Put("Visible", true);
  app.Clear();
  EXPECT_EQ(FEvents.Terminated, 0);
  OleVariant again = GetActiveOleObject("Test.Application");
  EXPECT_TRUE(again.Get("Visible").ToBoolean());
  again.Call("Quit");
  EXPECT_EQ(FEvents.Terminated, 1);
  EXPECT_EQ(RunningOleServerCount(), 0);
  // The object stays valid for the references still held, but every call now fails.
  EXPECT_EQ(FEvents.Freed, 0);
  EXPECT_EQ(ErrorOf([&] { again.Call("Visible"); }),
            "The object invoked has disconnected from its clients. (Test.Application)");
  EXPECT_EQ(ErrorOf([&] { again.Call(TOleName("Visible")); }),
            "The object invoked has disconnected from its clients. (Test.Application)");
  again.Clear();
  EXPECT_EQ(FEvents.Freed, 1);
  EXPECT_EQ(FEvents.Terminated, 1);
}

TEST_F(OleServerTest, AQuitServersObjectsAreDisconnected) {
  OleVariant app = CreateOleObject("Test.Application");
  OleVariant document = app.Call("ActiveDocument");
  app.Call("Quit");
  EXPECT_EQ(ErrorOf([&] { document.Call("Name"); }),
            "The object invoked has disconnected from its clients. (Test.Application)");
  EXPECT_EQ(ErrorOf([] { GetActiveOleObject("Test.Application"); }),
            "Operation unavailable (Test.Application)");
}

TEST_F(OleServerTest, ShutdownEndsEveryServerAndFreesTheUnreferencedOnes) {
  OleVariant held = CreateOleObject("Test.Application");
  CreateOleObject("Test.Application").Put("Visible", true);
  EXPECT_EQ(RunningOleServerCount(), 2);
  ShutdownOleServers();
  EXPECT_EQ(RunningOleServerCount(), 0);
  EXPECT_EQ(FEvents.Terminated, 2);
  EXPECT_EQ(FEvents.Freed, 1);  // the visible one; the held one waits for its reference
  held.Clear();
  EXPECT_EQ(FEvents.Freed, 2);
}

TEST_F(OleServerTest, TheTraceSinkSeesCreationAttachAndEveryCallBeneath) {
  std::vector<std::string> lines;
  SetOleTraceSink([&lines](const std::string& ALine) { lines.push_back(ALine); });
  EXPECT_THROW(GetActiveOleObject("Test.Application"), EOleSysError);
  OleVariant app = CreateOleObject("Test.Application");
  app.Call("ActiveDocument").Call("Name");
  const OleVariant attached = GetActiveOleObject("Test.Application");
  attached.Put("Visible", true);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "GetActiveOleObject(\"Test.Application\") !! EOleSysError: Operation "
                       "unavailable (Test.Application)",
                       "CreateOleObject(\"Test.Application\") -> Object",
                       "Test.Application.ActiveDocument -> Object",
                       "Test.Application.ActiveDocument.Name -> \"Document1\"",
                       "GetActiveOleObject(\"Test.Application\") -> Object",
                       "Test.Application.Visible := True -> Empty",
                   }));
}

}  // namespace
