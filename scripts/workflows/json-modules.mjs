// Lets Node load the JSON schemas that GitHub's workflow parser imports without the import attribute that Node
// asks for (the package is built for bundlers): given to node with --import.
import { register } from "node:module";

register(
  "data:text/javascript," +
    encodeURIComponent(`
      import { readFile } from "node:fs/promises";
      export async function load(url, context, next) {
        if (!url.endsWith(".json")) return next(url, context);
        return { format: "json", source: await readFile(new URL(url)), shortCircuit: true };
      }`),
);
