#!/bin/sh
# Writes a configuration of N entries and a world that knows their classes,
# for previewing how the report copes with a large server:
#   scripts/large_config.sh N CONFIG.json WORLD.json
#   drovekeeper-sim --config CONFIG.json --world WORLD.json --minutes 120 --report r.html
# Every seventh entry is a clock entry, every thirteenth names a class the
# world lacks, the rest spawn at spread positions with small caps.
set -eu
n=${1:?entries} config=${2:?config file} world=${3:?world file}
awk -v n="$n" -v config="$config" -v world="$world" 'BEGIN {
  srand(20240301)
  printf "{\n  \"SpawnDino\": {" > config
  sep = ""
  for (i = 0; i < n; i++) {
    if (i % 7 == 6) continue
    name = sprintf("Beast%05d", i)
    path = (i % 13 == 12) ? "Missing" : "Fauna"
    printf "%s\n    \"Blueprint'"'"'/Game/%s/%s/%s_BP.%s_BP'"'"'\": {\"SpawnInterval\": %d, " \
           "\"Worldmaximum\": %d, \"Position\": \"%d %d 3000\", \"PositionRangeRandom\": %s, " \
           "\"Maxlevel\": 150, \"levelFixed\": false, \"SpawnNotice\": false, \"Name\": \"%s\"}", \
           sep, path, name, name, name, 1 + i % 30, 1 + i % 6, int(rand() * 760000) - 380000, \
           int(rand() * 760000) - 380000, (i % 5 == 0) ? "true" : "false", name > config
    sep = ","
  }
  printf "\n  },\n  \"SpawnDinoX\": {" > config
  sep = ""
  for (i = 6; i < n; i += 7) {
    name = sprintf("Beast%05d", i)
    printf "%s\n    \"Blueprint'"'"'/Game/Fauna/%s/%s_BP.%s_BP'"'"'\": {\"SpawnInterval\": \"%d:%d\", " \
           "\"Worldmaximum\": 3, \"Position\": \"0 0 500\", \"PositionRangeRandom\": true, " \
           "\"Maxlevel\": 150, \"levelFixed\": true, \"SpawnNotice\": false}", \
           sep, name, name, name, i % 24, i % 60 > config
    sep = ","
  }
  printf "\n  }\n}\n" > config
  printf "{\n  \"seed\": 1,\n  \"world_settings\": {\"LatitudeScale\": 800, \"LongitudeScale\": 800, " \
         "\"LatitudeOrigin\": -400000, \"LongitudeOrigin\": -400000},\n  \"classes\": [" > world
  sep = ""
  for (i = 0; i < n; i++) {
    if (i % 13 == 12 && i % 7 != 6) continue
    name = sprintf("Beast%05d", i)
    printf "%s\n    {\"reference\": \"/Game/Fauna/%s/%s_BP.%s_BP_C\", \"creature\": true}", \
           sep, name, name, name > world
    sep = ","
  }
  printf "\n  ],\n  \"actors\": [],\n  \"players\": []\n}\n" > world
}'
