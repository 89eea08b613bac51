package probe;

public class NoMain {
    public void main(String[] args) {
    }
}
