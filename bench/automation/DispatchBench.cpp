// The cost of one late-bound call: member lookup, argument binding and the variant result, for
// the shapes of call the printers make, with and without tracing.

#include <benchmark/benchmark.h>

#include <string>

#include "platform/automation/AutoObject.h"
#include "platform/automation/OleTrace.h"

namespace {

using namespace automation;

// A document-like object with as many members as the engine's larger objects carry.
class TBenchObject : public TAutoObject {
 protected:
  const TAutoMemberTable& GetMemberTable() const override {
    static const TAutoMemberTable table = [] {
      std::vector<TAutoMember> members;
      for (int i = 0; i < 40; ++i) members.push_back({"Filler" + std::to_string(i), {}, {}, {}});
      auto own = TAutoMemberTable::Of<TBenchObject>({
          {"Count", &TBenchObject::Count},
          {"Name", &TBenchObject::Name},
          {"Open", &TBenchObject::Open, {"FileName", "ConfirmConversions", "ReadOnly"}},
          {"Item", &TBenchObject::Item, {"Index"}},
          {"Type", nullptr, &TBenchObject::SetType},
      });
      for (int i = 0; i < own.GetCount(); ++i) members.push_back(own.Get(i));
      return TAutoMemberTable(std::move(members));
    }();
    return table;
  }

 private:
  OleVariant Count(TAutoCall&) { return 3; }
  OleVariant Name(TAutoCall&) { return "Customer_Name"; }
  OleVariant Open(TAutoCall& ACall) {
    benchmark::DoNotOptimize(ACall.GetBoolean(2, false));
    return OleVariant(this);
  }
  OleVariant Item(TAutoCall& ACall) {
    benchmark::DoNotOptimize(ACall.GetInteger(0));
    return OleVariant(this);
  }
  void SetType(TAutoCall& ACall) { FType = ACall.GetValueInteger(); }

  int FType = 0;
};

void BM_MemberLookup(benchmark::State& AState) {
  const OleVariant object(std::make_unique<TBenchObject>());
  TOleArgs none;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(object.Invoke("COUNT", dkMethod, none));
  }
}
BENCHMARK(BM_MemberLookup);

void BM_CallWithoutArguments(benchmark::State& AState) {
  const OleVariant object(std::make_unique<TBenchObject>());
  for (auto _ : AState) {
    benchmark::DoNotOptimize(object.Call("Name").ToString());
  }
}
BENCHMARK(BM_CallWithoutArguments);

void BM_CallByReference(benchmark::State& AState) {
  const OleVariant object(std::make_unique<TBenchObject>());
  OleVariant index = 1;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(object.Call("Item", {OleRef(index)}));
  }
}
BENCHMARK(BM_CallByReference);

void BM_CallWithNamedArguments(benchmark::State& AState) {
  const OleVariant object(std::make_unique<TBenchObject>());
  const std::string fileName = "C:\\Templates\\Letter.docx";
  for (auto _ : AState) {
    benchmark::DoNotOptimize(
        object.Call("Open", {OleNamed("FileName", fileName), OleNamed("ReadOnly", true)}));
  }
}
BENCHMARK(BM_CallWithNamedArguments);

void BM_PropertyWrite(benchmark::State& AState) {
  const OleVariant object(std::make_unique<TBenchObject>());
  for (auto _ : AState) object.Put("Type", 1);
}
BENCHMARK(BM_PropertyWrite);

void BM_ChainOfFourCalls(benchmark::State& AState) {
  const OleVariant object(std::make_unique<TBenchObject>());
  OleVariant index = 1;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(
        object.Call("Item", {OleRef(index)}).Call("Item", {2}).Call("Open", {"x"}).Call("Name"));
  }
}
BENCHMARK(BM_ChainOfFourCalls);

// The same calls with their names bound once, as the printers make them.
void BM_BoundCallWithoutArguments(benchmark::State& AState) {
  const OleVariant object(std::make_unique<TBenchObject>());
  const TOleName name("Name");
  for (auto _ : AState) {
    benchmark::DoNotOptimize(object.Call(name).ToString());
  }
}
BENCHMARK(BM_BoundCallWithoutArguments);

void BM_BoundChainOfFourCalls(benchmark::State& AState) {
  const OleVariant object(std::make_unique<TBenchObject>());
  const TOleName item("Item");
  const TOleName open("Open");
  const TOleName name("Name");
  OleVariant index = 1;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(
        object.Call(item, OleRef(index)).Call(item, OleArg(2)).Call(open, OleArg("x")).Call(name));
  }
}
BENCHMARK(BM_BoundChainOfFourCalls);

void BM_TracedCall(benchmark::State& AState) {
  std::size_t bytes = 0;
  const OleVariant object =
      OleTraceWrap(OleVariant(std::make_unique<TBenchObject>()), "Word.Application.8",
                   [&bytes](const std::string& ALine) { bytes += ALine.size(); });
  OleVariant index = 1;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(object.Call("Item", {OleRef(index)}));
  }
  benchmark::DoNotOptimize(bytes);
}
BENCHMARK(BM_TracedCall);

}  // namespace

BENCHMARK_MAIN();
