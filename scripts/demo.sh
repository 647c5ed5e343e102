#!/usr/bin/env bash
# The main job: Tellwick on its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build/bin/tellwick --version
