// A library that a test plants beside a program under the name of a system library.
extern "C" __declspec(dllexport) int PlantedLibraryMarker() {
  return 1;
}
