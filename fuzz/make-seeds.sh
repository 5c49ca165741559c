#!/usr/bin/env bash
# Makes a seed folder per fuzz target under OUT (one folder per target, named
# after it): pieces of the real registry data in the shared corpus, which is
# never copied into the repository, and the inputs of fuzz/seeds/<target>/,
# small files of our own that once broke a reader.
#
#   fuzz/make-seeds.sh OUT [CORPUS]     (CORPUS defaults to ../shared/corpus)
#
# OUT is rebuilt from scratch; libFuzzer adds what it finds to these folders,
# so they belong in a build folder, not in the source tree.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:?usage: $0 OUT [CORPUS]}"
corpus="${2:-$here/../../shared/corpus}"
targets=(entry_records_fuzz mask_fuzz naming_files_fuzz pe_resources_fuzz regf_fuzz script_reader_fuzz wine_text_fuzz)

rm -rf "$out"
for target in "${targets[@]}"; do
  mkdir -p "$out/$target"
  if [ -d "$here/seeds/$target" ]; then install -m 644 "$here/seeds/$target"/* "$out/$target/"; fi
done

# --- mask_fuzz: an options byte, the mask's length, the mask, the source. ---
# Options 0x80 run the file-path mask, 0x40 the indirect-string mask, bit 0
# lets the callback abort. Masks and sources end with their NUL.
mask_seed() {  # name options mask source
  local mask="$3" source="$4"
  # The mask's bytes, its NUL counted; printf turns \0 in the texts into NULs.
  local length
  length=$(printf -- "$mask" | wc -c)
  { printf "\\$(printf '%03o' "$2")\\$(printf '%03o' "$length")"; printf -- "$mask"; printf -- "$source"; } \
    >"$out/mask_fuzz/$1"
}
mask_seed digits 0 '%%D\0' 'abc 123 def 4567\0'
mask_seed drive-path 0 '%%X:\\%%*\0' 'see C:\\Windows\\System32\\x.dll here\0'
mask_seed sets 0 '%%1,; \0%%!,; \0' 'one,two;three four\0'
mask_seed negated 1 '%%~1abc\0%%?\0' 'aabbccdd\0'
mask_seed group 0 '%%("\0%%*\0%%)"\0' 'say "C:\\a b\\c.exe" -x\0'
mask_seed skip-counted 0 '%%D|%%X:\\%%$-3\0' '10|C:\\ab\\cd.e rest\0'
mask_seed ends 0 '%%<\\\0%%h%%h%%>\0' '\\ff\0'
mask_seed optional 0 '%%0-\0%%O.exe\0%%F\0' '-1f.exe 2a\0'
mask_seed file-path 128 '' '"C:\\Program Files\\Wine\\wine.exe" -f C:\\a.txt,D:\\b\0'
mask_seed indirect-string 64 '' '@%%SystemRoot%%\\system32\\shell32.dll,-21787@x\0'
mask_seed malformed 0 '%%s\0%%~*\0%%(%%1' 'abc\0'

# --- pe_resources_fuzz, .mui-shaped: a language resource file with a string
# table and its "MUI" resource configuration (signature, checksums, language
# name "de-DE"), built by mingw-w64's windres and ld where they are installed.
# The id (200) and language (0x0407) come first, as for every seed. ---
if command -v x86_64-w64-mingw32-windres >/dev/null && command -v x86_64-w64-mingw32-ld >/dev/null; then
  work="$(mktemp -d)"
  {
    printf 'LANGUAGE 0x07, 0x01\nSTRINGTABLE\nBEGIN\n  200 "Windows-Ereignisprotokoll"\n  201 "Dienst"\nEND\n'
    printf '1 MUI\nBEGIN\n  0xFECDFECDL, 0x00000090L, 0x00010000L, 0L, 0x12L, 0L, 1L,\n'
    printf '  0x5EED0001L, 0x5EED0001L, 0x5EED0001L, 0x5EED0001L, 0x5EED0001L, 0x5EED0001L, 0x5EED0001L, 0x5EED0001L,\n'
    printf '  0L, 0L, 0L, 0L, 0L, 0L, 0L, 0L, 0L, 0L, 0L, 0L, 0L, 0L,\n'
    printf '  0x00000084L, 0x0000000CL, 0L, 0L, 0x00650064L, 0x0044002DL, 0x00000045L\nEND\n'
  } >"$work/de.rc"
  if x86_64-w64-mingw32-windres --preprocessor=cpp -i "$work/de.rc" -O coff -o "$work/de.o" &&
     x86_64-w64-mingw32-ld --dll -e 0 -o "$work/de.mui" "$work/de.o"; then
    { printf '\310\000\007\004'; cat "$work/de.mui"; } >"$out/pe_resources_fuzz/events-dll-de-DE-mui"
  fi
  rm -rf "$work"
fi

if [ ! -d "$corpus" ]; then
  echo "make-seeds: no corpus at $corpus; only our own seeds were made" >&2
  exit 0
fi

# --- pe_resources_fuzz: the string id and language (2 bytes each, little
# endian), then the module: the corpus's tzres.dll with ids that its string
# table holds (the time zone names system.reg names) and ids it lacks. ---
tzres="$corpus/wine-8.0/drive_c-files/windows/system32/tzres.dll"
if [ -f "$tzres" ]; then
  pe_seed() {  # name id language
    { printf "\\$(printf '%03o' $(($2 & 255)))\\$(printf '%03o' $(($2 >> 8)))"
      printf "\\$(printf '%03o' $(($3 & 255)))\\$(printf '%03o' $(($3 >> 8)))"
      cat "$tzres"; } >"$out/pe_resources_fuzz/$1"
  }
  pe_seed tzres-39618-any 39618 0
  pe_seed tzres-50194-en-us 50194 0x0409
  pe_seed tzres-50193-de 50193 0x0407
  pe_seed tzres-missing 1 0
fi

# --- regf_fuzz: each corpus hive cut to its base block and first bins; the
# small ones whole. A cut hive is read as damaged, which is what a reader must
# survive anyway. ---
for hive in SAM NTUSER.DAT UsrClass.dat SYSTEM corrupted_system_hive; do
  if [ -f "$corpus/hives/$hive" ]; then
    head -c $((4096 + 16384)) "$corpus/hives/$hive" >"$out/regf_fuzz/$hive-first-bins"
  fi
done
for hive in BCD SECURITY; do
  if [ -f "$corpus/hives/$hive" ]; then install -m 644 "$corpus/hives/$hive" "$out/regf_fuzz/$hive"; fi
done

# --- wine_text_fuzz: the small Wine hives whole; system.reg (1.7 MB) in
# pieces of about 150 lines that start at a key line, each under the file's
# header. ---
wine="$corpus/wine-8.0"
for hive in user.reg userdef.reg; do
  if [ -f "$wine/$hive" ]; then install -m 644 "$wine/$hive" "$out/wine_text_fuzz/$hive"; fi
done
if [ -f "$wine/system.reg" ]; then
  for start in 1 1034 9000 20000 37802 39054 40258 41533; do
    awk -v start="$start" '
      NR <= 4 { print; next }
      NR >= start && !begun && /^\[/ { begun = 1 }
      begun { print; if (++n >= 150) exit }' "$wine/system.reg" >"$out/wine_text_fuzz/system-from-line-$start.reg"
  done
fi

# --- entry_records_fuzz: a choice byte (0 one record, 1 a list), then the
# block: a key record, and a list of a key and a value with its data. ---
word() { printf "\\$(printf '%03o' $(($1 & 255)))\\$(printf '%03o' $((($1 >> 8) & 255)))\\000\\000"; }
record() {  # path [name data type]
  local path="$1" name="${2-}" data="${3-}" type="${4-0}"
  word 20; word $((${#path} + 1))
  if [ -n "$name" ]; then word $((${#name} + 1)); else word 0; fi
  printf '\377\377\377\377'; word 0; word ${#data}; word "$type"
  printf '%s\0' "$path"
  if [ -n "$name" ]; then printf '%s\0' "$name"; fi
  printf '%s' "$data"
}
{ printf '\0'; record 'HKEY_CURRENT_USER\Software\Wine'; } >"$out/entry_records_fuzz/key"
{ printf '\1'; word 2; record 'HKEY_CURRENT_USER\Software'; record 'HKEY_CURRENT_USER\Software' 'Name' 'data' 3; } \
  >"$out/entry_records_fuzz/list"
# --- script_reader_fuzz: the export Wine's regedit made (UTF-16LE with a
# byte-order mark), its first 8 KiB as it is and a piece of it as ANSI text. ---
export_file="$wine/regedit-export-ntcurrentversion.reg"
if [ -f "$export_file" ]; then
  head -c 8192 "$export_file" >"$out/script_reader_fuzz/regedit-export-utf16-head.reg"
  # (sed reads to the end: a reader that quits early would break the pipe.)
  iconv -f UTF-16LE -t UTF-8 "$export_file" | sed -n '1s/^\xef\xbb\xbf//; 1,200p' \
    >"$out/script_reader_fuzz/regedit-export-ansi-head.reg"
fi

for target in "${targets[@]}"; do
  echo "make-seeds: $target: $(find "$out/$target" -type f | wc -l) seeds"
done
