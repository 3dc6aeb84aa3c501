// Evaluates the part of GitHub Actions' expression language that the CI workflow uses (contexts, string
// literals, ==, !=, !, &&, ||, parentheses, format() and startsWith()), so that the policy can tell what a
// value such as the concurrency group becomes for each kind of event. Operators give their operands' values,
// as GitHub's do; strings compare without regard to case.

const tokenPattern = /\s*(?:('(?:[^']|'')*')|([A-Za-z_][\w.-]*)|(==|!=|&&|\|\||[!(),])|(\S))/y;

function tokenize(text) {
  const tokens = [];
  tokenPattern.lastIndex = 0;
  while (tokenPattern.lastIndex < text.length) {
    const match = tokenPattern.exec(text);
    if (!match) break;
    const [, literal, name, operator, stray] = match;
    if (stray !== undefined) throw new Error(`cannot read '${stray}' in: ${text}`);
    if (literal !== undefined) tokens.push({ literal: literal.slice(1, -1).replaceAll("''", "'") });
    else if (name !== undefined) tokens.push({ name });
    else if (operator !== undefined) tokens.push({ operator });
  }
  return tokens;
}

const truthy = (value) => value !== null && value !== undefined && value !== false && value !== "" && value !== 0;
const text = (value) => (value === null || value === undefined ? "" : String(value));
const equal = (a, b) =>
  typeof a === "string" && typeof b === "string" ? a.toLowerCase() === b.toLowerCase() : a === b;

const functions = {
  format: (template, ...values) => text(template).replace(/\{(\d+)\}/g, (_, index) => text(values[index])),
  startsWith: (value, prefix) => text(value).toLowerCase().startsWith(text(prefix).toLowerCase()),
};

function evaluate(expression, context) {
  const tokens = tokenize(expression);
  let at = 0;
  const peek = (operator) => tokens[at]?.operator === operator;
  const expect = (operator) => {
    if (!peek(operator)) throw new Error(`expected '${operator}' in: ${expression}`);
    at += 1;
  };
  const primary = () => {
    const token = tokens[at++];
    if (token === undefined) throw new Error(`unexpected end of: ${expression}`);
    if (token.literal !== undefined) return token.literal;
    if (token.operator === "!") return !truthy(primary());
    if (token.operator === "(") {
      const value = or();
      expect(")");
      return value;
    }
    if (token.name === "true" || token.name === "false") return token.name === "true";
    if (token.name !== undefined && peek("(")) {
      const call = functions[token.name];
      if (!call) throw new Error(`no function ${token.name} in: ${expression}`);
      at += 1;
      const args = [];
      while (!peek(")")) {
        args.push(or());
        if (!peek(")")) expect(",");
      }
      expect(")");
      return call(...args);
    }
    if (token.name !== undefined) return token.name.split(".").reduce((value, key) => value?.[key], context);
    throw new Error(`unexpected '${token.operator}' in: ${expression}`);
  };
  const comparison = () => {
    let value = primary();
    while (peek("==") || peek("!=")) {
      const negate = tokens[at++].operator === "!=";
      value = equal(value, primary()) !== negate;
    }
    return value;
  };
  const and = () => {
    let value = comparison();
    while (peek("&&")) {
      at += 1;
      const right = comparison();
      value = truthy(value) ? right : value;
    }
    return value;
  };
  const or = () => {
    let value = and();
    while (peek("||")) {
      at += 1;
      const right = and();
      value = truthy(value) ? value : right;
    }
    return value;
  };
  const value = or();
  if (at !== tokens.length) throw new Error(`unexpected text after position ${at} in: ${expression}`);
  return value;
}

/// A workflow value for one event: a string with ${{ }} parts evaluated in the context, or any other value as
/// it stands. A value that is one expression alone keeps the expression's type.
export function valueFor(value, context) {
  if (typeof value !== "string") return value;
  const whole = /^\s*\$\{\{([\s\S]*)\}\}\s*$/.exec(value);
  if (whole && !whole[1].includes("}}")) return evaluate(whole[1], context);
  return value.replace(/\$\{\{([\s\S]*?)\}\}/g, (_, expression) => text(evaluate(expression, context)));
}
