// Validates each workflow file named on the command line with GitHub's own workflow parser and schema; prints
// every error and exits 1 on any. Run with --import ./json-modules.mjs.
import { readFileSync } from "node:fs";
import { NoOperationTraceWriter, parseWorkflow } from "@actions/workflow-parser";

let errors = 0;
for (const path of process.argv.slice(2)) {
  const parsed = parseWorkflow({ name: path, content: readFileSync(path, "utf8") }, new NoOperationTraceWriter());
  for (const error of parsed.context.errors.getErrors()) {
    console.error(error.message);
    errors += 1;
  }
}
process.exit(errors === 0 ? 0 : 1);
