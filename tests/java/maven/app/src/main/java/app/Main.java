package app;

public final class Main {
  public static void main(String[] args) {
    System.out.println(greeting.Greeting.of(args.length > 0 ? args[0] : "world"));
  }
}
