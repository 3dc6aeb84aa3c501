# Sourced first by every script, as `source "$(dirname "$0")/lib/setup.sh"`: runs it from the checkout's top
# folder, with every failing step named (steps.sh) and ensure_packages at hand (packages.sh).
cd "$(dirname "$0")/.." || exit 1
source scripts/lib/steps.sh
source scripts/lib/packages.sh
