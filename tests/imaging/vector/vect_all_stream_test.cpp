// The combined stream of layers and objects: the extent of the objects, the layout (the position field
// names the object stream), round trips through streams, files and the view's I/O component, a combined
// stream written behind other data, and damaged streams: the corrupt-input table and a mutation loop.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imaging/io/imaging_io.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/proc/undo.h"
#include "imaging/view/layers.h"
#include "platform/streams.h"
#include "tests/imaging/mutation.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;
using vect_test::AddKind;
using vect_test::MakeView;

// A view of two layers (the second one 10 x 8, placed at (12, 5)) and three objects.
std::unique_ptr<TImagingVect> LayeredView() {
  auto V = MakeView(40, 30);
  V->AddLayer();
  V->IEBitmap()->Allocate(10, 8, ie24RGB);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 10; ++x) V->IEBitmap()->SetRGB(x, y, TIERGB24{uint8_t(x * 20), uint8_t(y * 30), 99});
  V->GetLayer(1)->PosX = 12;
  V->GetLayer(1)->PosY = 5;
  V->GetLayer(1)->Name = "top";
  AddKind(*V, vokBox, 1, 2, 30, 20);
  AddKind(*V, vokLine, 5, 6, 7, 8);
  AddKind(*V, vokEllipse, 0, 0, 9, 9);
  return V;
}

Bytes SaveAll(TImagingVect& V, int32_t Compression = -1) {
  TMemoryStream S;
  V.SaveAllToStream(&S, Compression);
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  return Bytes(P, P + S.Size());
}

void Fill(TMemoryStream& S, const Bytes& B) {
  S.SetSize(0);
  if (!B.empty()) S.WriteBuffer(B.data(), int64_t(B.size()));
  S.SetPosition(0);
}

int32_t I32At(const Bytes& B, size_t At) {
  int32_t V;
  std::memcpy(&V, B.data() + At, 4);
  return V;
}
void PutI32(Bytes& B, size_t At, int32_t V) { std::memcpy(B.data() + At, &V, 4); }

// Kind and box of every object in drawing order.
std::vector<std::array<int32_t, 5>> Objects(TImagingVect& V) {
  std::vector<std::array<int32_t, 5>> Out;
  for (int32_t i = 0; i < V.ObjectsCount(); ++i) {
    const TIEVObjectData* R = V.ObjectRecord(V.ObjectAt(i));
    Out.push_back({int32_t(R->Kind), R->X1, R->Y1, R->X2, R->Y2});
  }
  return Out;
}

TEST(VectAllStream, ObjectsExtentTakesTheFarEdgesWhicheverCornerHoldsThem) {
  auto V = MakeView(10, 10);
  EXPECT_EQ(V->GetObjectsExtent(), (TRect{0, 0, 0, 0}));
  AddKind(*V, vokBox, 10, 10, 5, 40);
  AddKind(*V, vokLine, 0, 0, 99, 20);
  EXPECT_EQ(V->GetObjectsExtent(), (TRect{0, 0, 100, 41}));
  // Objects wholly left of or above the image still start the extent at (0, 0).
  auto W = MakeView(10, 10);
  AddKind(*W, vokBox, -30, -20, -10, -5);
  EXPECT_EQ(W->GetObjectsExtent(), (TRect{0, 0, 0, 0}));
}

TEST(VectAllStream, PositionFieldNamesTheObjectStreamEvenWithoutObjects) {
  for (const bool WithObjects : {false, true}) {
    SCOPED_TRACE(WithObjects);
    auto V = WithObjects ? LayeredView() : MakeView(20, 10);
    const Bytes B = SaveAll(*V);
    ASSERT_GT(B.size(), 30u);
    EXPECT_EQ(std::memcmp(B.data() + 4, "IMAGINGLAYERS", 13), 0);
    const int32_t P = I32At(B, 0);
    ASSERT_GT(P, 4);
    ASSERT_LT(size_t(P) + 4, B.size());
    EXPECT_EQ(std::memcmp(B.data() + P, "IEV", 3), 0);
    // What follows the position is the object stream alone, as the view writes it.
    TMemoryStream Objects;
    V->SaveObjectsToStream(&Objects);
    ASSERT_EQ(size_t(Objects.Size()), B.size() - size_t(P));
    EXPECT_EQ(std::memcmp(B.data() + P, Objects.Memory(), B.size() - size_t(P)), 0);
    TMemoryStream S;
    Fill(S, B);
    EXPECT_TRUE(IsAllStream(&S));
    EXPECT_EQ(S.Position(), 0);
  }
}

TEST(VectAllStream, LayersAndObjectsRoundTrip) {
  auto A = LayeredView();
  for (const int32_t Compression : {-1, -2}) {
    SCOPED_TRACE(Compression);
    TMemoryStream S;
    Fill(S, SaveAll(*A, Compression));
    auto B = MakeView(5, 5);
    AddKind(*B, vokText, 1, 1, 2, 2);
    ASSERT_TRUE(B->LoadAllFromStream(&S));
    ASSERT_EQ(B->LayersCount(), 2);
    EXPECT_EQ(B->GetLayer(1)->PosX, 12);
    EXPECT_EQ(B->GetLayer(1)->PosY, 5);
    EXPECT_EQ(B->GetLayer(1)->Name, "top");
    EXPECT_EQ(B->GetLayer(1)->Bitmap->GetWidth(), 10);
    EXPECT_EQ(B->GetLayer(1)->Bitmap->GetRGB(3, 2).r, 99);
    EXPECT_EQ(B->GetLayer(0)->Bitmap->GetWidth(), 40);
    EXPECT_EQ(Objects(*B), Objects(*A));
  }
}

TEST(VectAllStream, TheIOComponentDetectsAndLoadsCombinedFilesAndStreams) {
  auto A = LayeredView();
  const std::string Path = std::string(ZV_TEST_TMP) + "/vect_all_io.all";
  {
    TFileStream F(Path, fmCreate);
    A->SaveAllToStream(&F, -1);
  }
  auto B = MakeView(5, 5);
  EXPECT_TRUE(B->LoadAllFromFile(Path));
  EXPECT_EQ(B->LayersCount(), 2);
  EXPECT_EQ(Objects(*B), Objects(*A));
  EXPECT_FALSE(B->LoadAllFromFile(""));

  auto C = MakeView(5, 5);
  C->IO()->LoadFromFile(Path);
  EXPECT_EQ(C->IO()->AbortFlag, 0);
  EXPECT_EQ(C->LayersCount(), 2);
  EXPECT_EQ(Objects(*C), Objects(*A));

  auto D = MakeView(5, 5);
  TMemoryStream S;
  Fill(S, SaveAll(*A));
  D->IO()->LoadFromStream(&S);
  EXPECT_EQ(D->IO()->AbortFlag, 0);
  EXPECT_EQ(Objects(*D), Objects(*A));

  // A component without a vector view gets the picture: layers flattened, objects drawn in.
  TIEBitmap Picture;
  std::unique_ptr<TImagingIO> Plain(TImagingIO::CreateForBitmap(&Picture));
  Plain->LoadFromFile(Path);
  EXPECT_EQ(Plain->AbortFlag, 0);
  ASSERT_EQ(Picture.GetWidth(), 40);
  ASSERT_EQ(Picture.GetHeight(), 30);
  const TIERGB24 Layer = Picture.GetRGB(12 + 3, 5 + 2);  // the second layer's pixel (3, 2)
  EXPECT_EQ(Layer.r, 99);
  EXPECT_EQ(Layer.g, 60);
  EXPECT_EQ(Layer.b, 60);
  const TIERGB24 Outline = Picture.GetRGB(20, 2);  // on the box's top edge
  EXPECT_LT(int(Outline.r) + Outline.g + Outline.b, 3 * 64);
  std::filesystem::remove(Path);
}

// The processing component keeps objects and layers together as combined streams for its undo.
TEST(VectAllStream, UndoOfObjectsAndLayersGivesBothBack) {
  auto A = LayeredView();
  const auto Before = Objects(*A);
  A->Proc()->SaveUndo(ieuObjectsAndLayers);
  ASSERT_EQ(A->Proc()->UndoCount(), 1);
  A->RemoveLayer(1);
  A->ClearObjects();
  AddKind(*A, vokText, 1, 1, 2, 2);
  A->Proc()->Undo();
  EXPECT_EQ(A->LayersCount(), 2);
  EXPECT_EQ(A->GetLayer(1)->PosX, 12);
  EXPECT_EQ(Objects(*A), Before);
}

// A combined stream written after other data: the bytes before it stay, the field counts from its own
// start, and it reads back from there.
TEST(VectAllStream, ACombinedStreamBehindOtherDataLeavesThatDataAlone) {
  auto A = LayeredView();
  const Bytes Whole = SaveAll(*A);
  TMemoryStream S;
  const Bytes Prefix(37, 0xA5);
  S.WriteBuffer(Prefix.data(), int64_t(Prefix.size()));
  A->SaveAllToStream(&S, -1);
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  EXPECT_EQ(Bytes(P, P + Prefix.size()), Prefix);
  EXPECT_EQ(I32At(Bytes(P, P + S.Size()), Prefix.size()), I32At(Whole, 0));
  S.SetPosition(int64_t(Prefix.size()));
  EXPECT_TRUE(IsAllStream(&S));
  EXPECT_EQ(S.Position(), int64_t(Prefix.size()));
  auto B = MakeView(5, 5);
  ASSERT_TRUE(B->LoadAllFromStream(&S));
  EXPECT_EQ(Objects(*B), Objects(*A));
}

TEST(VectAllStream, ABareLayersFileIsNoCombinedStream) {
  auto A = LayeredView();
  TMemoryStream S;
  S.WriteBuffer("xyz", 3);
  A->SaveLayersToStream(&S, -1);
  S.SetPosition(3);
  EXPECT_FALSE(IsAllStream(&S));
  EXPECT_EQ(S.Position(), 3);
  auto B = MakeView(5, 5);
  AddKind(*B, vokBox, 1, 1, 2, 2);
  EXPECT_FALSE(B->LoadAllFromStream(&S));
  EXPECT_EQ(S.Position(), 3);
  EXPECT_EQ(B->LayersCount(), 1);
  EXPECT_EQ(B->ObjectsCount(), 1);
}

TEST(VectAllStream, CorruptInputTable) {
  auto A = LayeredView();
  const Bytes Good = SaveAll(*A);
  const int32_t P = I32At(Good, 0);
  enum TOutcome { Refused, LayersOnly, ReaderFails };
  struct Case {
    const char* Name;
    std::function<void(Bytes&)> Damage;
    bool Combined;    // what the content test answers
    TOutcome Load;
  } Cases[] = {
      {"position -1", [](Bytes& B) { PutI32(B, 0, -1); }, false, Refused},
      {"position most negative", [](Bytes& B) { PutI32(B, 0, INT32_MIN); }, false, Refused},
      {"position inside its own field", [](Bytes& B) { PutI32(B, 0, 2); }, false, Refused},
      {"position past the end", [](Bytes& B) { PutI32(B, 0, int32_t(B.size()) + 1); }, false, Refused},
      {"position at the end", [](Bytes& B) { PutI32(B, 0, int32_t(B.size())); }, false, LayersOnly},
      {"position into the layers file", [](Bytes& B) { PutI32(B, 0, 40); }, false, LayersOnly},
      {"layers magic damaged", [](Bytes& B) { B[6] = 'X'; }, false, Refused},
      {"layers version 0", [](Bytes& B) { PutI32(B, 4 + 13, 0); }, false, Refused},
      {"layer count past the stream", [](Bytes& B) { PutI32(B, 4 + 21, 1000000); }, true, Refused},
      {"IEV magic damaged", [P](Bytes& B) { B[size_t(P) + 2] = 'X'; }, false, LayersOnly},
      {"IEV cut after its header", [P](Bytes& B) { B.resize(size_t(P) + 24); }, true, LayersOnly},
      {"IEV object block damaged", [P](Bytes& B) { for (size_t i = size_t(P) + 40; i < B.size(); ++i) B[i] ^= 0x5A; },
       true, ReaderFails},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Bytes B = Good;
    C.Damage(B);
    TMemoryStream S;
    Fill(S, B);
    EXPECT_EQ(IsAllStream(&S), C.Combined);
    EXPECT_EQ(S.Position(), 0);

    auto V = MakeView(5, 5);
    AddKind(*V, vokBox, 1, 1, 2, 2);
    const auto Before = Objects(*V);
    bool Loaded = true;
    bool Raised = false;
    try {
      Loaded = V->LoadAllFromStream(&S);
    } catch (const Exception&) {
      Raised = true;
    }
    if (C.Load == ReaderFails) {
      // The object reader gives up part-way: false or its exception, never a full load.
      EXPECT_TRUE(Raised || !Loaded);
      continue;
    }
    EXPECT_FALSE(Raised);
    EXPECT_FALSE(Loaded);
    EXPECT_EQ(S.Position(), 0);
    EXPECT_EQ(Objects(*V), Before);
    EXPECT_EQ(V->LayersCount(), C.Load == LayersOnly ? 2 : 1);
  }
}

TEST(VectAllStream, MutationLoopNeverCrashes) {
  auto A = LayeredView();
  const Bytes Good = SaveAll(*A);
  std::mt19937 Random(43);
  const uint8_t ByteEdges[] = {0, 1, 0x7F, 0x80, 0xFF};
  const uint32_t WordEdges[] = {0, 1, 4, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, uint32_t(Good.size()),
                                uint32_t(I32At(Good, 0))};
  int Loaded = 0;
  for (int Round = 0; Round < 300; ++Round) {
    const Bytes B = mutation::Mutate(Good, Random, ByteEdges, WordEdges);
    TMemoryStream S;
    Fill(S, B);
    const bool Combined = IsAllStream(&S);
    ASSERT_EQ(S.Position(), 0);
    auto V = MakeView(5, 5);
    try {
      if (V->LoadAllFromStream(&S)) {
        ++Loaded;
        EXPECT_TRUE(Combined);
      }
    } catch (const Exception&) {
    }
  }
  EXPECT_GT(Loaded, 0);
}

// Writes the seeds of the fuzz target when ZV_WRITE_ALL_SEEDS names a folder.
TEST(VectAllStream, WriteFuzzSeeds) {
  const char* Folder = std::getenv("ZV_WRITE_ALL_SEEDS");
  if (Folder == nullptr) GTEST_SKIP() << "ZV_WRITE_ALL_SEEDS not set";
  auto Write = [&](const std::string& Name, const Bytes& B) {
    std::ofstream Out(std::string(Folder) + "/" + Name, std::ios::binary);
    Out.write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
  };
  auto Small = MakeView(6, 4);
  AddKind(*Small, vokLine, 0, 0, 5, 3);
  Write("one_layer_raw.all", SaveAll(*Small, -2));
  Write("empty_zlib.all", SaveAll(*MakeView(3, 3), -1));
  auto Two = MakeView(8, 6);
  Two->AddLayer();
  Two->IEBitmap()->Allocate(3, 2, ie24RGB);
  AddKind(*Two, vokBox, 1, 1, 6, 4);
  AddKind(*Two, vokEllipse, 2, 0, 7, 5);
  Write("two_layers.all", SaveAll(*Two, -1));
}

}  // namespace
}  // namespace zv
