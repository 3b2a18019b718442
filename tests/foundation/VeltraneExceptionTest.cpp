#include "foundation/VeltraneException.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veltrane;

namespace {

template <typename TRaise>
EVeltraneError Caught(TRaise ARaise) {
  try {
    ARaise();
  } catch (const EVeltraneError& error) {
    return error;
  }
  ADD_FAILURE() << "nothing was raised";
  return EVeltraneError("", {}, verUnknown);
}

}  // namespace

TEST(VeltraneExceptionTest, EveryCodeRaisesItsExactMessage) {
  struct TRow {
    TVeltraneError Code;
    std::vector<std::string> Args;
    std::string Message;
  };
  const std::vector<TRow> rows = {
      {verAbort, {}, "Veltrane: Print aborted"},
      {verUnknown, {"boom"}, "Veltrane: Unknown Error \"boom\"!"},
      {verVeltraneAutoActive, {}, "Veltrane: VeltraneAuto object is not active"},
      {verClassnameMissing, {}, "Veltrane: OLE Classname is missing!"},
      {verClassnameInvalid, {"Word.X"}, "Veltrane: OLE Classname \"Word.X\" is invalid!"},
      {verDocnameMissing, {}, "Veltrane: Documentname is missing!"},
      {verDocnameInvalid, {"a.doc"}, "Veltrane: Documentname \"a.doc\" is invalid!"},
      {verIdentifierInvalid, {"Cust_Name"}, "Veltrane: Identifier \"Cust_Name\" is invalid!"},
      {verDatasourceMissing, {}, "Veltrane: Datasource for controller is missing!"},
      {verVeltranePrinterMissing, {}, "Veltrane: VeltranePrinter for controller is missing!"},
      {verVeltraneControllerActive, {}, "Veltrane: VeltraneController object is not active"},
      {verDocCheckIdentifier, {"X_Y"}, "Veltrane: Unknown identifier \"X_Y\" in document!"},
      {verDocCheckGroupinheader,
       {"Orders"},
       "Veltrane: Identifier \"Orders\" is a group!\r\nGroups are not supported in header or "
       "footer!"},
      {verGroupIdentifierInvalid,
       {"Orders"},
       "Veltrane: Group \"Orders\" has no corresponding Datasource or Datafield!"},
      {verGroupFieldInvalid,
       {"A_B", "G"},
       "Veltrane: Position of field \"A_B\" does not fit into group \"G\"!"},
      {verFieldtypeInvalid, {"Photo"}, "Veltrane: The fieldtype for \"Photo\" is not supported!"},
  };
  ASSERT_EQ(rows.size(), ErrorMessages.size());
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Message);
    host::TVarRecs args(row.Args.begin(), row.Args.end());
    const EVeltraneError error = Caught([&] {
      if (args.empty()) {
        VeltraneError(row.Code);
      } else {
        VeltraneErrorFmt(row.Code, args);
      }
    });
    EXPECT_EQ(error.GetErrorCode(), row.Code);
    EXPECT_EQ(error.GetMessage(), row.Message);
    EXPECT_STREQ(error.what(), row.Message.c_str());
  }
}

TEST(VeltraneExceptionTest, AbortIsAnOrdinaryPackageErrorNotTheSilentOne) {
  bool caughtSilent = false;
  try {
    try {
      VeltraneAbort();
    } catch (const host::EAbort&) {
      caughtSilent = true;
    }
  } catch (const EVeltraneError& error) {
    EXPECT_EQ(error.GetErrorCode(), verAbort);
    EXPECT_EQ(error.GetMessage(), "Veltrane: Print aborted");
  }
  EXPECT_FALSE(caughtSilent);
}

TEST(VeltraneExceptionTest, PlaceholderWithoutArgumentRaisesTheHostConversionError) {
  // A text with "%s" raised without a string argument fails in the host's format routine.
  EXPECT_THROW(VeltraneError(verIdentifierInvalid), host::EConvertError);
}

TEST(VeltraneExceptionTest, CodeOutsideTheTableIsRaisedAsUnknown) {
  const EVeltraneError error = Caught([] { VeltraneError(static_cast<TVeltraneError>(42)); });
  EXPECT_EQ(error.GetErrorCode(), verUnknown);
  EXPECT_EQ(error.GetMessage(), "Veltrane: Unknown Error \"error code 42\"!");
}

TEST(VeltraneExceptionTest, ArgumentsAreInsertedLiterally) {
  const EVeltraneError error =
      Caught([] { VeltraneErrorFmt(verIdentifierInvalid, {"100%s_Ümlaut"}); });
  EXPECT_EQ(error.GetMessage(), "Veltrane: Identifier \"100%s_Ümlaut\" is invalid!");
}
