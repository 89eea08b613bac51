package greeting;

public final class Greeting {
  private Greeting() {}

  public static String of(String who) {
    return "Hello, " + who + ", from the greeting library";
  }
}
